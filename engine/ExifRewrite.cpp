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
}  // namespace

bool RewriteExifPixelSize(TTiffView& tiff, std::uint32_t width, std::uint32_t height) {
  const std::uint32_t ifd0Offset = tiff.FirstIfd();
  const int ifd0Count = tiff.EntryCount(ifd0Offset);
  if (ifd0Count < 0) return false;
  bool found = false;
  std::uint32_t exifIfd = 0;
  for (int i = 0; i < ifd0Count; ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd0Offset, i);
    if (tiff.Get16(entry) == kExifIfdPointer) {
      exifIfd = tiff.Get32(entry + 8);
      found = true;
    }
  }
  const int exifCount = found ? tiff.EntryCount(exifIfd) : -1;
  if (exifCount < 0) return false;
  for (int i = 0; i < exifCount; ++i) {
    const std::uint32_t entry = TTiffView::Entry(exifIfd, i);
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
