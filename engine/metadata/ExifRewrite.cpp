#include "ExifRewrite.h"

#include <algorithm>
#include <vector>

namespace tarvo {

namespace {

constexpr std::uint16_t kImageWidth = 0x0100;
constexpr std::uint16_t kImageLength = 0x0101;
constexpr std::uint16_t kExifIfdPointer = 0x8769;
constexpr std::uint16_t kPixelXDimension = 0xA002;
constexpr std::uint16_t kPixelYDimension = 0xA003;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
// Exif allows only SHORT and LONG here, but some programs write the signed types; a reader
// takes their value all the same, so they must tell the trim's size too.
constexpr std::uint16_t kTypeSignedShort = 8;
constexpr std::uint16_t kTypeSignedLong = 9;
// IFD0, IFD1 and what a camera links after them; a longer chain is a loop.
constexpr int kMaxIfds = 8;

// Sets the entries of the IFD at ifd tagged widthTag and heightTag to the size, keeping their
// type.
void PutSize(TTiffView& tiff, std::uint32_t ifd, int count, std::uint16_t widthTag,
             std::uint16_t heightTag, std::uint32_t width, std::uint32_t height) {
  for (int i = 0; i < count; ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd, i);
    const std::uint16_t tag = tiff.Get16(entry);
    if (tag != widthTag && tag != heightTag) continue;
    const std::uint32_t size = tag == widthTag ? width : height;
    const std::uint16_t type = tiff.Get16(entry + 2);
    if (type == kTypeShort || type == kTypeSignedShort) {
      tiff.Put16(entry + 8, static_cast<std::uint16_t>(size));
      tiff.Put16(entry + 10, 0);
    } else if (type == kTypeLong || type == kTypeSignedLong) {
      tiff.Put32(entry + 8, size);
    }
  }
}

// The Exif IFD the IFD at ifd points at (its last 0x8769 entry counts), or 0.
std::uint32_t ExifIfdOf(const TTiffView& tiff, std::uint32_t ifd, int count) {
  std::uint32_t exifIfd = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd, i);
    if (tiff.Get16(entry) == kExifIfdPointer) exifIfd = tiff.Get32(entry + 8);
  }
  return exifIfd;
}

}  // namespace

bool RewriteExifPixelSize(TTiffView& tiff, std::uint32_t width, std::uint32_t height) {
  const std::uint32_t ifd0 = tiff.FirstIfd();
  const int ifd0Count = tiff.EntryCount(ifd0);
  if (ifd0Count < 0) return false;
  // IFD0 describes the main picture; IFD1 describes the thumbnail, whose own size stays.
  PutSize(tiff, ifd0, ifd0Count, kImageWidth, kImageLength, width, height);
  std::vector<std::uint32_t> done;
  std::uint32_t ifd = ifd0;
  for (int k = 0; k < kMaxIfds && ifd != 0; ++k) {
    const int count = tiff.EntryCount(ifd);
    if (count < 0) break;
    const std::uint32_t exifIfd = ExifIfdOf(tiff, ifd, count);
    const int exifCount = tiff.EntryCount(exifIfd);
    if (exifCount >= 0 && std::find(done.begin(), done.end(), exifIfd) == done.end()) {
      PutSize(tiff, exifIfd, exifCount, kPixelXDimension, kPixelYDimension, width, height);
      done.push_back(exifIfd);
    }
    const std::uint32_t next = TTiffView::Entry(ifd, count);
    if (!tiff.Holds(next, 4)) break;
    ifd = tiff.Get32(next);
  }
  return true;
}

}  // namespace tarvo
