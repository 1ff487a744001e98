#include "ExifRewrite.h"

namespace tarvo {

namespace {

constexpr std::uint16_t kExifIfdPointer = 0x8769;
constexpr std::uint16_t kPixelXDimension = 0xA002;
constexpr std::uint16_t kPixelYDimension = 0xA003;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
// Exif allows only SHORT and LONG here, but some programs write the signed types; a reader
// takes their value all the same, so they must tell the trim's size too.
constexpr std::uint16_t kTypeSignedShort = 8;
constexpr std::uint16_t kTypeSignedLong = 9;
constexpr std::uint32_t kTiffHeaderSize = 8;
constexpr std::uint32_t kEntrySize = 12;  // tag, type, count, value or offset

// The TIFF structure in block, addressed by TIFF offsets and read in its byte order.
class TTiffView {
 public:
  TTiffView(std::span<std::uint8_t> block, bool little) : block_(block), little_(little) {}

  bool Holds(std::uint64_t offset, std::uint64_t count) const {
    return offset >= kTiffHeaderSize && offset - kTiffHeaderSize + count <= block_.size();
  }
  std::uint16_t Get16(std::uint32_t offset) const {
    const std::uint8_t* p = At(offset);
    return static_cast<std::uint16_t>(little_ ? p[0] | p[1] << 8 : p[0] << 8 | p[1]);
  }
  std::uint32_t Get32(std::uint32_t offset) const {
    const std::uint32_t first = Get16(offset);
    const std::uint32_t second = Get16(offset + 2);
    return little_ ? first | second << 16 : first << 16 | second;
  }
  void Put16(std::uint32_t offset, std::uint16_t value) {
    std::uint8_t* p = At(offset);
    p[little_ ? 0 : 1] = static_cast<std::uint8_t>(value);
    p[little_ ? 1 : 0] = static_cast<std::uint8_t>(value >> 8);
  }
  void Put32(std::uint32_t offset, std::uint32_t value) {
    Put16(offset + (little_ ? 0 : 2), static_cast<std::uint16_t>(value));
    Put16(offset + (little_ ? 2 : 0), static_cast<std::uint16_t>(value >> 16));
  }
  // The entry count of the IFD at offset, or -1 when the IFD does not fit in the block.
  int EntryCount(std::uint32_t offset) const {
    if (!Holds(offset, 2)) return -1;
    const std::uint16_t count = Get16(offset);
    return Holds(std::uint64_t{offset} + 2, std::uint64_t{count} * kEntrySize) ? count : -1;
  }

 private:
  std::uint8_t* At(std::uint32_t offset) const {
    return block_.data() + (offset - kTiffHeaderSize);
  }

  std::span<std::uint8_t> block_;
  bool little_;
};

}  // namespace

bool RewriteExifPixelSize(std::span<std::uint8_t> block, bool littleEndian,
                          std::uint32_t ifd0Offset, std::uint32_t width, std::uint32_t height) {
  TTiffView tiff(block, littleEndian);
  const int ifd0Count = tiff.EntryCount(ifd0Offset);
  if (ifd0Count < 0) return false;
  bool found = false;
  std::uint32_t exifIfd = 0;
  for (int i = 0; i < ifd0Count; ++i) {
    const std::uint32_t entry = ifd0Offset + 2 + static_cast<std::uint32_t>(i) * kEntrySize;
    if (tiff.Get16(entry) == kExifIfdPointer) {
      exifIfd = tiff.Get32(entry + 8);
      found = true;
    }
  }
  const int exifCount = found ? tiff.EntryCount(exifIfd) : -1;
  if (exifCount < 0) return false;
  for (int i = 0; i < exifCount; ++i) {
    const std::uint32_t entry = exifIfd + 2 + static_cast<std::uint32_t>(i) * kEntrySize;
    const std::uint16_t tag = tiff.Get16(entry);
    if (tag != kPixelXDimension && tag != kPixelYDimension) continue;
    const std::uint32_t size = tag == kPixelXDimension ? width : height;
    const std::uint16_t type = tiff.Get16(entry + 2);
    if (type == kTypeShort || type == kTypeSignedShort) {
      tiff.Put16(entry + 8, static_cast<std::uint16_t>(size));
      tiff.Put16(entry + 10, 0);
    } else if (type == kTypeLong || type == kTypeSignedLong) {
      tiff.Put32(entry + 8, size);
    }
  }
  return true;
}

}  // namespace tarvo
