#include "ExifOrientation.h"

#include <algorithm>
#include <optional>

#include "JpegMarkers.h"

namespace tarvo {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
// An Exif segment's body: "Exif", two zero bytes, then the TIFF structure.
constexpr std::int64_t kTiffStart = 6;

// Where IFD0's Orientation entry keeps its one value, and whether it is a LONG: most files
// store a SHORT, some writers a LONG, and the value is read and written back in its own type.
struct TOrientationEntry {
  std::uint32_t At;
  bool Long;
};

std::optional<TOrientationEntry> OrientationEntry(const TTiffView& tiff) {
  const std::uint32_t ifd0 = tiff.FirstIfd();
  const int count = tiff.EntryCount(ifd0);
  for (int i = 0; i < count; ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd0, i);
    if (tiff.Get16(entry) != kOrientationTag) continue;
    const std::uint16_t type = tiff.Get16(entry + 2);
    if ((type != kTypeShort && type != kTypeLong) || tiff.Get32(entry + 4) != 1) {
      return std::nullopt;
    }
    return TOrientationEntry{entry + 8, type == kTypeLong};
  }
  return std::nullopt;
}

}  // namespace

TOrientation ReadExifOrientation(const TJpegModel& model, std::span<const std::uint8_t> bytes) {
  const std::span<const TSegment> header = model.HeaderSegments();
  const auto exif = std::find_if(header.begin(), header.end(), [](const TSegment& segment) {
    return segment.Kind == TSegment::TKind::kExif;
  });
  if (exif == header.end()) return kAsStored;
  // The model has checked the segment's bounds and its identifier; the TIFF structure follows
  // the length word and the identifier. TTiffView works on writable bytes, so the few kilobytes
  // are copied.
  const auto start = static_cast<std::size_t>(exif->Start + 2 + kTiffStart);
  std::vector<std::uint8_t> copy(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(exif->End));
  const TTiffView tiff(copy);
  if (!tiff.Valid()) return kAsStored;
  const std::optional<TOrientationEntry> entry = OrientationEntry(tiff);
  if (!entry) return kAsStored;
  const std::uint32_t value = entry->Long ? tiff.Get32(entry->At) : tiff.Get16(entry->At);
  // A LONG beyond the eight orientations is no orientation at all, not its low half.
  return value > 0xFFFF ? kAsStored : TOrientation::FromExif(static_cast<std::uint16_t>(value));
}

void RewriteExifOrientation(TTiffView& tiff, TOrientation value) {
  if (const std::optional<TOrientationEntry> entry = OrientationEntry(tiff)) {
    if (entry->Long) {
      tiff.Put32(entry->At, static_cast<std::uint32_t>(value.ExifValue()));
    } else {
      tiff.Put16(entry->At, static_cast<std::uint16_t>(value.ExifValue()));
    }
  }
}

std::vector<std::uint8_t> OrientationOnlyExif(TOrientation value) {
  const auto exif = static_cast<std::uint8_t>(value.ExifValue());
  const auto app1 = markers::MarkerBytes(markers::kApp1);
  return {app1[0], app1[1], 0x00, 0x22,        // APP1, length 34
          'E',     'x',     'i',  'f',  0, 0,  // identifier
          'M',     'M',     0x00, 0x2A,        // big-endian TIFF
          0x00,    0x00,    0x00, 0x08,        // IFD0 right after the header
          0x00,    0x01,                       // one entry:
          0x01,    0x12,    0x00, 0x03,        //   Orientation, SHORT
          0x00,    0x00,    0x00, 0x01,        //   one value
          0x00,    exif,    0x00, 0x00,        //   the value, padded to four bytes
          0x00,    0x00,    0x00, 0x00};       // no next IFD
}

}  // namespace tarvo
