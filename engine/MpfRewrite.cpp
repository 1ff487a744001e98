#include "MpfRewrite.h"

#include <limits>

#include "TiffView.h"

namespace tarvo {

namespace {

constexpr std::uint16_t kMpEntryTag = 0xB002;
constexpr std::uint32_t kMpEntrySize = 16;  // attribute, size, offset, two dependent entries

// The MP entries of an MP header.
class TMpEntries {
 public:
  // Empty (Count 0) unless the MP header and the MP Index IFD lead to a whole list of entries.
  explicit TMpEntries(TTiffView& tiff) : tiff_(tiff) {
    if (!tiff.Valid()) return;
    const std::uint32_t ifd = tiff.FirstIfd();
    const int count = tiff.EntryCount(ifd);
    for (int i = 0; i < count; ++i) {
      const std::uint32_t entry = TTiffView::Entry(ifd, i);
      if (tiff.Get16(entry) != kMpEntryTag) continue;
      const std::uint32_t bytes = tiff.Get32(entry + 4);
      const std::uint32_t offset = tiff.Get32(entry + 8);
      if (bytes == 0 || bytes % kMpEntrySize != 0 || !tiff.Holds(offset, bytes)) return;
      list_ = offset;
      Count = bytes / kMpEntrySize;
    }
  }

  std::uint32_t Size(std::uint32_t i) const { return tiff_.Get32(SizeField(i)); }
  std::uint32_t Offset(std::uint32_t i) const { return tiff_.Get32(OffsetField(i)); }
  void SetSize(std::uint32_t i, std::uint32_t value) { tiff_.Put32(SizeField(i), value); }
  void SetOffset(std::uint32_t i, std::uint32_t value) { tiff_.Put32(OffsetField(i), value); }
  // An image the file does not hold (a dependent image left out, say) has size and offset 0;
  // the first image's offset is 0 as well, so this is for the others only.
  bool Absent(std::uint32_t i) const { return i > 0 && Size(i) == 0 && Offset(i) == 0; }

  std::uint32_t Count = 0;

 private:
  std::uint32_t SizeField(std::uint32_t i) const { return list_ + i * kMpEntrySize + 4; }
  std::uint32_t OffsetField(std::uint32_t i) const { return list_ + i * kMpEntrySize + 8; }

  TTiffView& tiff_;
  std::uint32_t list_ = 0;
};

}  // namespace

bool RewriteMpfEntries(std::span<std::uint8_t> output, const TMpfPlace& to,
                       std::span<const std::uint8_t> source, const TMpfPlace& from) {
  // The output's copy of the segment is read, as it is the one to change.
  TTiffView tiff(output.subspan(to.Header, to.End - to.Header));
  TMpEntries entries(tiff);
  if (entries.Count == 0 || entries.Offset(0) != 0 || entries.Size(0) != from.FirstImageEnd) {
    return false;
  }
  for (std::uint32_t i = 1; i < entries.Count; ++i) {
    if (entries.Absent(i)) continue;
    const std::uint64_t start = from.Header + std::uint64_t{entries.Offset(i)};
    if (start < from.FirstImageEnd || start + entries.Size(i) > source.size() ||
        entries.Size(i) < 2 || source[start] != 0xFF || source[start + 1] != 0xD8) {
      return false;
    }
  }
  // Each following image moves with the end of the first one; its offset counts from the MP
  // header, which may have moved as well.
  const std::int64_t shift =
      static_cast<std::int64_t>(to.FirstImageEnd) - static_cast<std::int64_t>(from.FirstImageEnd) -
      (static_cast<std::int64_t>(to.Header) - static_cast<std::int64_t>(from.Header));
  constexpr std::int64_t kLargest = std::numeric_limits<std::uint32_t>::max();
  if (static_cast<std::int64_t>(to.FirstImageEnd) > kLargest) return false;
  for (std::uint32_t i = 1; i < entries.Count; ++i) {
    if (!entries.Absent(i) && entries.Offset(i) + shift > kLargest) return false;
  }
  entries.SetSize(0, static_cast<std::uint32_t>(to.FirstImageEnd));
  for (std::uint32_t i = 1; i < entries.Count; ++i) {
    if (!entries.Absent(i)) {
      entries.SetOffset(i, static_cast<std::uint32_t>(entries.Offset(i) + shift));
    }
  }
  return true;
}

}  // namespace tarvo
