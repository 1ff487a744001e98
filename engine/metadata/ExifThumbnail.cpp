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

// The end of everything the structure's IFDs hold or point at, the thumbnail's data aside: IFD0,
// IFD1, the Exif, GPS and interoperability IFDs, and every value stored outside its entry (a
// maker note among them). What lies beyond is padding.
std::uint32_t UsedEnd(const TTiffView& tiff, const TIfd1& ifd1) {
  constexpr std::uint16_t kExifIfd = 0x8769, kGpsIfd = 0x8825, kInteropIfd = 0xA005;
  // Bytes per value of TIFF types 1 to 12.
  constexpr std::uint8_t kTypeSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  std::uint64_t end = TTiffView::kHeaderSize;
  std::vector<std::uint32_t> ifds = {tiff.FirstIfd(), ifd1.Offset};
  for (std::size_t k = 0; k < ifds.size() && k < 8; ++k) {
    const int count = tiff.EntryCount(ifds[k]);
    if (count < 0) continue;
    end = std::max<std::uint64_t>(end, TTiffView::Entry(ifds[k], count) + 4);
    for (int i = 0; i < count; ++i) {
      const std::uint32_t entry = TTiffView::Entry(ifds[k], i);
      const std::uint16_t tag = tiff.Get16(entry);
      const std::uint16_t type = tiff.Get16(entry + 2);
      const std::uint64_t size = type < std::size(kTypeSizes)
                                     ? std::uint64_t{kTypeSizes[type]} * tiff.Get32(entry + 4)
                                     : 0;
      if (size > 4 && tiff.Holds(tiff.Get32(entry + 8), size)) {
        end = std::max(end, tiff.Get32(entry + 8) + size);
      }
      if (tag == kExifIfd || tag == kGpsIfd || tag == kInteropIfd)
        ifds.push_back(tiff.Get32(entry + 8));
    }
  }
  return static_cast<std::uint32_t>(end);
}

// Where a new thumbnail may go once the old one's bytes are zeroed, best first: at the end of the
// structure as it stands without a thumbnail there (growing it up to maxSize, as most writers
// lay it out), in the old thumbnail's place, or in the zero bytes that pad the structure's end
// (cameras leave kilobytes of them), which it may also grow into.
struct TSlots {
  std::size_t Size = 0;  // the structure cut down to, before a thumbnail is put at its end
  std::size_t End = 0;
  std::optional<TRange> Old;
  std::size_t Padding = 0;
  std::size_t Room(std::size_t maxSize, std::size_t structure) const {
    std::size_t room = maxSize > End ? maxSize - End : 0;
    if (Old) room = std::max<std::size_t>(room, Old->End - Old->Start);
    const std::size_t limit = std::max(structure, maxSize);
    return std::max(room, limit > Padding ? limit - Padding : 0);
  }
};

// Zeroes the thumbnail's old bytes and finds the slots for a new one.
TSlots ClearThumbnail(std::vector<std::uint8_t>& tiff, TIfd1& ifd1) {
  TSlots slots;
  const std::uint32_t used = UsedEnd(TTiffView(tiff), ifd1);
  for (const TRange& range : ifd1.Data) {
    std::fill(tiff.begin() + range.Start, tiff.begin() + range.End, std::uint8_t{0});
  }
  if (ifd1.Kind == TExifThumbnailKind::kJpeg && !ifd1.Data.empty()) slots.Old = ifd1.Data[0];
  // Thumbnail data at the very end, where cameras put it, goes altogether.
  std::sort(ifd1.Data.begin(), ifd1.Data.end(),
            [](const TRange& a, const TRange& b) { return a.End > b.End; });
  slots.Size = tiff.size();
  for (const TRange& range : ifd1.Data) {
    if (range.End == slots.Size) slots.Size = std::min<std::size_t>(slots.Size, range.Start);
  }
  // TIFF data starts at even offsets.
  slots.End = slots.Size + (slots.Size & 1);
  std::size_t zeros = tiff.size();
  while (zeros > used && tiff[zeros - 1] == 0) --zeros;
  slots.Padding = zeros + (zeros & 1);
  return slots;
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

std::size_t ExifThumbnailRoom(std::span<const std::uint8_t> tiff, std::size_t maxSize) {
  std::vector<std::uint8_t> copy(tiff.begin(), tiff.end());
  const TTiffView view(copy);
  std::optional<TIfd1> ifd1 = ReadIfd1(view);
  if (!ifd1 || ifd1->Kind != TExifThumbnailKind::kJpeg) return 0;
  return ClearThumbnail(copy, *ifd1).Room(maxSize, copy.size());
}

void ReplaceExifThumbnail(std::vector<std::uint8_t>& tiff, std::span<const std::uint8_t> picture,
                          std::size_t maxSize) {
  if (ExifThumbnailKind(tiff) == TExifThumbnailKind::kNone) return;
  TIfd1 ifd1 = *ReadIfd1(TTiffView(tiff));
  const TSlots slots = ClearThumbnail(tiff, ifd1);
  std::optional<std::size_t> at;
  if (ifd1.Kind == TExifThumbnailKind::kJpeg && !picture.empty()) {
    if (slots.End + picture.size() <= maxSize) {
      at = slots.End;
    } else if (slots.Old && picture.size() <= slots.Old->End - slots.Old->Start) {
      at = slots.Old->Start;
    } else if (slots.Padding + picture.size() <= std::max(tiff.size(), maxSize)) {
      at = slots.Padding;
    }
  }
  if (!at) {
    // A thumbnail that cannot be kept takes IFD1 with it: an IFD1 without its data's tags is
    // not a valid one.
    tiff.resize(slots.Size);
    TTiffView kept(tiff);
    kept.Put32(ifd1.NextField, 0);
    const std::uint32_t tableEnd = TTiffView::Entry(ifd1.Offset, ifd1.Count) + 4;
    if (kept.Holds(ifd1.Offset, tableEnd - ifd1.Offset)) {
      std::fill(tiff.begin() + ifd1.Offset, tiff.begin() + tableEnd, std::uint8_t{0});
    }
    return;
  }
  if (*at == slots.End) tiff.resize(slots.End, 0);
  if (tiff.size() < *at + picture.size()) tiff.resize(*at + picture.size(), 0);
  std::copy(picture.begin(), picture.end(), tiff.begin() + static_cast<std::ptrdiff_t>(*at));
  TTiffView grown(tiff);
  for (int i = 0; i < ifd1.Count; ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd1.Offset, i);
    const std::uint16_t tag = grown.Get16(entry);
    if (tag != kJpegOffset && tag != kJpegLength) continue;
    grown.Put16(entry + 2, kTypeLong);
    grown.Put32(entry + 4, 1);
    grown.Put32(entry + 8, static_cast<std::uint32_t>(tag == kJpegOffset ? *at : picture.size()));
  }
}

void RestateExifThumbnail(std::vector<std::uint8_t>& tiff, int width, int height,
                          TOrientation orientation) {
  constexpr std::uint16_t kImageWidth = 0x0100, kImageLength = 0x0101, kOrientation = 0x0112;
  TTiffView view(tiff);
  const std::optional<TIfd1> ifd1 = ReadIfd1(view);
  if (!ifd1) return;
  for (int i = 0; i < ifd1->Count; ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd1->Offset, i);
    const std::uint16_t tag = view.Get16(entry);
    const std::uint16_t type = view.Get16(entry + 2);
    if (view.Get32(entry + 4) != 1 || (type != kTypeShort && type != kTypeLong)) continue;
    const int value = tag == kImageWidth    ? width
                      : tag == kImageLength ? height
                      : tag == kOrientation ? orientation.ExifValue()
                                            : -1;
    if (value < 0) continue;
    if (type == kTypeShort) {
      view.Put16(entry + 8, static_cast<std::uint16_t>(value));
    } else {
      view.Put32(entry + 8, static_cast<std::uint32_t>(value));
    }
  }
}

}  // namespace tarvo
