#include "MpfRewrite.h"

#include <algorithm>
#include <cstring>

#include "JpegMarkers.h"
#include "JpegModelReader.h"
#include "TiffView.h"

namespace tarvo {

namespace {

constexpr std::uint16_t kNumberOfImagesTag = 0xB001;
constexpr std::uint16_t kMpEntryTag = 0xB002;
constexpr std::uint16_t kImageUidListTag = 0xB003;
constexpr std::uint32_t kImageUidSize = 33;
constexpr std::uint32_t kMpEntrySize = 16;  // attribute, size, offset, two dependent entries
constexpr std::size_t kIdentifierSize = 4;  // "MPF\0"
constexpr std::size_t kMpHeaderSize = 8;    // byte order, 42, offset of the MP Index IFD

}  // namespace

std::optional<TMpIndex> ReadMpIndex(std::span<const std::uint8_t> jpeg) {
  for (const TSegment& segment : ReadHeaderLayout(jpeg)) {
    if (!SegmentIs(jpeg, segment, markers::kApp2, std::string_view("MPF\0", kIdentifierSize)) ||
        segment.End - segment.Body() < kIdentifierSize + kMpHeaderSize) {
      continue;
    }
    TMpIndex index;
    index.Base = segment.Body() + kIdentifierSize;
    const TTiffView tiff({const_cast<std::uint8_t*>(&jpeg[index.Base]), segment.End - index.Base});
    if (!tiff.Valid()) return std::nullopt;
    const std::uint32_t ifd = tiff.FirstIfd();
    const int count = tiff.EntryCount(ifd);
    if (count < 0) return std::nullopt;
    for (int i = 0; i < count; ++i) {
      const std::uint32_t entry = TTiffView::Entry(ifd, i);
      if (tiff.Get16(entry) != kMpEntryTag) continue;
      const std::uint32_t bytes = tiff.Get32(entry + 4);
      const std::uint32_t list = tiff.Get32(entry + 8);
      if (bytes == 0 || bytes % kMpEntrySize != 0 || !tiff.Holds(list, bytes)) return std::nullopt;
      index.List = list;
      index.Entries.clear();
      for (std::uint32_t k = 0; k < bytes / kMpEntrySize; ++k) {
        const std::uint32_t at = list + k * kMpEntrySize;
        index.Entries.push_back({tiff.Get32(at), tiff.Get32(at + 4), tiff.Get32(at + 8)});
      }
    }
    if (index.Entries.empty()) return std::nullopt;
    return index;
  }
  return std::nullopt;
}

std::vector<std::optional<TByteRange>> LocateMpImages(std::span<const std::uint8_t> file,
                                                      const TMpIndex& index,
                                                      std::size_t firstImageEnd) {
  std::vector<std::optional<TByteRange>> images(index.Entries.size());
  std::vector<std::size_t> starts;
  for (std::size_t i = 1; i < index.Entries.size(); ++i) {
    if (index.Absent(i)) continue;
    const std::uint64_t stated = index.Base + std::uint64_t{index.Entries[i].Offset};
    std::size_t at = static_cast<std::size_t>(std::max<std::uint64_t>(stated, firstImageEnd));
    if (at >= file.size()) continue;
    if (!markers::JpegStartsAt(file, at)) {
      const auto marker = markers::MarkerBytes(markers::kSoi);
      const std::uint8_t soi[] = {marker[0], marker[1], markers::kMarkerPrefix};
      at = static_cast<std::size_t>(std::search(file.begin() + static_cast<std::ptrdiff_t>(at),
                                                file.end(), std::begin(soi), std::end(soi)) -
                                    file.begin());
      if (at >= file.size()) continue;
    }
    const std::uint64_t end = at == stated ? stated + index.Entries[i].Size : file.size();
    images[i] = TByteRange{at, static_cast<std::size_t>(std::min<std::uint64_t>(end, file.size()))};
    starts.push_back(at);
  }
  std::sort(starts.begin(), starts.end());
  for (std::optional<TByteRange>& image : images) {
    if (!image) continue;
    const auto next = std::upper_bound(starts.begin(), starts.end(), image->Start);
    if (next != starts.end()) image->End = std::min(image->End, *next);
  }
  return images;
}

std::vector<std::uint8_t> WithHeldEntries(std::span<const std::uint8_t> body, std::size_t indexBase,
                                          const TMpIndex& index, const std::vector<bool>& held) {
  std::vector<std::uint8_t> out(body.begin(), body.end());
  TTiffView tiff(std::span<std::uint8_t>(out).subspan(indexBase));
  // Where each entry goes: its new number, counted from 1 as references count; 0 for none.
  std::vector<std::uint16_t> renumbered(index.Entries.size());
  std::uint32_t kept = 0;
  for (std::size_t i = 0; i < index.Entries.size(); ++i) {
    if (i == 0 || (i < held.size() && held[i])) renumbered[i] = static_cast<std::uint16_t>(++kept);
  }
  const auto compact = [&](std::uint32_t list, std::uint32_t size) {
    for (std::size_t i = 0; i < index.Entries.size(); ++i) {
      if (renumbered[i] == 0) continue;
      const std::uint32_t from = list + static_cast<std::uint32_t>(i) * size;
      const std::uint32_t to = list + (renumbered[i] - 1u) * size;
      std::copy_n(out.begin() + static_cast<std::ptrdiff_t>(indexBase + from), size,
                  out.begin() + static_cast<std::ptrdiff_t>(indexBase + to));
    }
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(indexBase + list + kept * size),
                (index.Entries.size() - kept) * size, std::uint8_t{0});
  };
  compact(index.List, kMpEntrySize);
  // The two dependent-image entries of each kept entry name others by number.
  for (std::uint32_t k = 0; k < kept; ++k) {
    for (const std::uint32_t field : {12u, 14u}) {
      const std::uint32_t at = index.List + k * kMpEntrySize + field;
      const std::uint16_t named = tiff.Get16(at);
      tiff.Put16(at, named >= 1 && named <= renumbered.size() ? renumbered[named - 1u] : 0);
    }
  }
  const std::uint32_t ifd = tiff.FirstIfd();
  for (int i = 0; i < tiff.EntryCount(ifd); ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd, i);
    const std::uint16_t tag = tiff.Get16(entry);
    if (tag == kNumberOfImagesTag) tiff.Put32(entry + 8, kept);
    if (tag == kMpEntryTag) tiff.Put32(entry + 4, kept * kMpEntrySize);
    if (tag == kImageUidListTag && tiff.Get32(entry + 4) == index.Entries.size() * kImageUidSize &&
        tiff.Holds(tiff.Get32(entry + 8), tiff.Get32(entry + 4))) {
      compact(tiff.Get32(entry + 8), kImageUidSize);
      tiff.Put32(entry + 4, kept * kImageUidSize);
    }
  }
  return out;
}

void PutMpEntry(std::span<std::uint8_t> file, const TMpIndex& index, std::size_t i,
                std::uint32_t size, std::uint32_t offset) {
  TTiffView tiff(file.subspan(index.Base));
  const auto at = static_cast<std::uint32_t>(index.List + i * kMpEntrySize);
  tiff.Put32(at + 4, size);
  tiff.Put32(at + 8, offset);
}

}  // namespace tarvo
