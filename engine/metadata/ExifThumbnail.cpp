#include "ExifThumbnail.h"

#include <algorithm>
#include <optional>

#include "TiffView.h"

namespace tarvo {

namespace {

constexpr std::uint16_t kStripOffsets = 0x0111;
constexpr std::uint16_t kStripByteCounts = 0x0117;
constexpr std::uint16_t kJpegOffset = 0x0201;  // JPEGInterchangeFormat
constexpr std::uint16_t kJpegLength = 0x0202;  // JPEGInterchangeFormatLength
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

struct TRange {
  std::uint32_t Start = 0;
  std::uint32_t End = 0;
};

// IFD1 and the thumbnail bytes it points at, each range checked against the structure and clear
// of both IFDs' entries, which zeroing it would destroy.
struct TIfd1 {
  std::uint32_t NextField = 0;  // IFD0's next-IFD offset, which links IFD1
  std::uint32_t Offset = 0;
  int Count = 0;
  TExifThumbnailKind Kind = TExifThumbnailKind::kNone;
  std::vector<TRange> Data;
};

bool Overlaps(const TRange& a, const TRange& b) { return a.Start < b.End && b.Start < a.End; }

std::optional<TIfd1> ReadIfd1(const TTiffView& tiff) {
  if (!tiff.Valid()) return std::nullopt;
  const std::uint32_t ifd0 = tiff.FirstIfd();
  const int count0 = tiff.EntryCount(ifd0);
  if (count0 < 0) return std::nullopt;
  TIfd1 ifd1;
  ifd1.NextField = TTiffView::Entry(ifd0, count0);
  if (!tiff.Holds(ifd1.NextField, 4)) return std::nullopt;
  ifd1.Offset = tiff.Get32(ifd1.NextField);
  ifd1.Count = tiff.EntryCount(ifd1.Offset);
  if (ifd1.Offset == 0 || ifd1.Count < 0) return std::nullopt;
  const TRange tables[] = {{ifd0, ifd1.NextField + 4},
                           {ifd1.Offset, TTiffView::Entry(ifd1.Offset, ifd1.Count) + 4}};
  const auto usable = [&](std::uint64_t start, std::uint64_t size) {
    if (size == 0 || !tiff.Holds(start, size)) return false;
    const TRange range{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(start + size)};
    return std::none_of(std::begin(tables), std::end(tables),
                        [&](const TRange& table) { return Overlaps(range, table); });
  };
  std::optional<std::uint32_t> jpegOffset, jpegLength;
  std::uint32_t stripOffsets = 0, stripCounts = 0;
  for (int i = 0; i < ifd1.Count; ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd1.Offset, i);
    const std::uint16_t tag = tiff.Get16(entry);
    if (tag == kJpegOffset) jpegOffset = tiff.Get32(entry + 8);
    if (tag == kJpegLength) jpegLength = tiff.Get32(entry + 8);
    if (tag == kStripOffsets) stripOffsets = entry;
    if (tag == kStripByteCounts) stripCounts = entry;
  }
  if (jpegOffset && jpegLength) {
    ifd1.Kind = TExifThumbnailKind::kJpeg;
    if (usable(*jpegOffset, *jpegLength))
      ifd1.Data.push_back({*jpegOffset, *jpegOffset + *jpegLength});
  } else if (stripOffsets != 0 && stripCounts != 0) {
    ifd1.Kind = TExifThumbnailKind::kStrips;
    // Each list holds SHORT or LONG values, in the entry when they fit in its four bytes.
    const auto value = [&](std::uint32_t entry, std::uint32_t k) -> std::optional<std::uint32_t> {
      const std::uint16_t type = tiff.Get16(entry + 2);
      const std::uint32_t count = tiff.Get32(entry + 4);
      const std::uint32_t size = type == kTypeShort ? 2 : type == kTypeLong ? 4 : 0;
      if (size == 0 || k >= count) return std::nullopt;
      const std::uint64_t at = std::uint64_t{count} * size <= 4
                                   ? entry + 8 + k * size
                                   : tiff.Get32(entry + 8) + std::uint64_t{k} * size;
      if (!tiff.Holds(at, size)) return std::nullopt;
      return size == 2 ? tiff.Get16(static_cast<std::uint32_t>(at))
                       : tiff.Get32(static_cast<std::uint32_t>(at));
    };
    const std::uint32_t strips =
        std::min(tiff.Get32(stripOffsets + 4), tiff.Get32(stripCounts + 4));
    for (std::uint32_t k = 0; k < strips; ++k) {
      const auto start = value(stripOffsets, k);
      const auto size = value(stripCounts, k);
      if (!start || !size) break;
      if (usable(*start, *size)) ifd1.Data.push_back({*start, *start + *size});
    }
  }
  return ifd1;
}

// Drops the IFD's entries with the given tags, moving the rest and its next-IFD offset up.
void RemoveEntries(TTiffView& tiff, std::uint32_t ifd, int count, std::uint16_t first,
                   std::uint16_t second) {
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t from = TTiffView::Entry(ifd, i);
    const std::uint16_t tag = tiff.Get16(from);
    if (tag == first || tag == second) continue;
    const std::uint32_t to = TTiffView::Entry(ifd, kept++);
    for (std::uint32_t b = 0; b < TTiffView::kEntrySize; b += 4)
      tiff.Put32(to + b, tiff.Get32(from + b));
  }
  const std::uint32_t next = tiff.Get32(TTiffView::Entry(ifd, count));
  tiff.Put16(ifd, static_cast<std::uint16_t>(kept));
  tiff.Put32(TTiffView::Entry(ifd, kept), next);
  for (std::uint32_t at = TTiffView::Entry(ifd, kept) + 4; at < TTiffView::Entry(ifd, count) + 4;
       at += 2) {
    tiff.Put16(at, 0);
  }
}

}  // namespace

TExifThumbnailKind ExifThumbnailKind(std::span<const std::uint8_t> tiff) {
  const TTiffView view({const_cast<std::uint8_t*>(tiff.data()), tiff.size()});
  const std::optional<TIfd1> ifd1 = ReadIfd1(view);
  return ifd1 ? ifd1->Kind : TExifThumbnailKind::kNone;
}

std::span<const std::uint8_t> ExifJpegThumbnail(std::span<const std::uint8_t> tiff) {
  if (ExifThumbnailKind(tiff) != TExifThumbnailKind::kJpeg) return {};
  const TTiffView view({const_cast<std::uint8_t*>(tiff.data()), tiff.size()});
  const std::optional<TIfd1> ifd1 = ReadIfd1(view);
  if (ifd1->Data.empty()) return {};
  return tiff.subspan(ifd1->Data[0].Start, ifd1->Data[0].End - ifd1->Data[0].Start);
}

void ReplaceExifThumbnail(std::vector<std::uint8_t>& tiff, std::span<const std::uint8_t> picture,
                          std::size_t maxSize) {
  if (ExifThumbnailKind(tiff) == TExifThumbnailKind::kNone) return;
  TTiffView view(tiff);
  TIfd1 ifd1 = *ReadIfd1(view);
  for (const TRange& range : ifd1.Data) {
    std::fill(tiff.begin() + range.Start, tiff.begin() + range.End, std::uint8_t{0});
  }
  // Thumbnail data at the very end, where cameras put it, goes altogether.
  std::sort(ifd1.Data.begin(), ifd1.Data.end(),
            [](const TRange& a, const TRange& b) { return a.End > b.End; });
  std::size_t size = tiff.size();
  for (const TRange& range : ifd1.Data) {
    if (range.End == size) size = std::min<std::size_t>(size, range.Start);
  }
  tiff.resize(size);
  TTiffView kept(tiff);
  if (ifd1.Kind == TExifThumbnailKind::kStrips) {
    // An uncompressed thumbnail has no tags for a JPEG; IFD1 is unlinked instead.
    kept.Put32(ifd1.NextField, 0);
    return;
  }
  // TIFF data starts at even offsets.
  const std::size_t start = size + (size & 1);
  if (picture.empty() || start + picture.size() > maxSize) {
    RemoveEntries(kept, ifd1.Offset, ifd1.Count, kJpegOffset, kJpegLength);
    return;
  }
  tiff.resize(start, 0);
  tiff.insert(tiff.end(), picture.begin(), picture.end());
  TTiffView grown(tiff);
  for (int i = 0; i < ifd1.Count; ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd1.Offset, i);
    const std::uint16_t tag = grown.Get16(entry);
    if (tag != kJpegOffset && tag != kJpegLength) continue;
    grown.Put16(entry + 2, kTypeLong);
    grown.Put32(entry + 4, 1);
    grown.Put32(entry + 8, static_cast<std::uint32_t>(tag == kJpegOffset ? start : picture.size()));
  }
}

}  // namespace tarvo
