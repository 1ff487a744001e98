#include "MpfRewrite.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace tarvo {

namespace {

constexpr std::uint16_t kMpEntryTag = 0xB002;
constexpr std::uint32_t kEntrySize = 12;    // IFD entry: tag, type, count, value or offset
constexpr std::uint32_t kMpEntrySize = 16;  // attribute, size, offset, two dependent entries
constexpr std::size_t kIdentifierSize = 4;  // "MPF\0"
constexpr std::size_t kMpHeaderSize = 8;    // byte order, 42, offset of the MP Index IFD

// An MPF segment: where its MP header starts (the base of its offsets) and where it ends.
struct TMpfSegment {
  std::size_t Base = 0;
  std::size_t End = 0;
};

// The first MPF segment among the header segments, which run from SOI to SOS.
std::optional<TMpfSegment> FindMpfSegment(std::span<const std::uint8_t> file) {
  std::size_t at = 2;
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    const std::uint8_t code = file[at + 1];
    if (code == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    if (code == 0xDA || code == 0xD9) break;
    const std::size_t length = file[at + 2] << 8 | file[at + 3];
    if (length < 2 || at + 2 + length > file.size()) break;
    const std::size_t body = at + 4;
    if (code == 0xE2 && length - 2 >= kIdentifierSize + kMpHeaderSize &&
        std::memcmp(&file[body], "MPF", kIdentifierSize) == 0) {
      return TMpfSegment{body + kIdentifierSize, at + 2 + length};
    }
    at += 2 + length;
  }
  return std::nullopt;
}

// The MP entries of a segment, read in its byte order.
class TMpEntries {
 public:
  // Empty (Count 0) unless the MP header and the MP Index IFD lead to a whole list of entries.
  TMpEntries(std::span<const std::uint8_t> file, const TMpfSegment& segment) : file_(file) {
    const std::uint8_t* header = &file[segment.Base];
    if (header[0] != header[1] || (header[0] != 'I' && header[0] != 'M')) return;
    little_ = header[0] == 'I';
    const std::size_t size = segment.End - segment.Base;
    const auto holds = [size](std::uint64_t offset, std::uint64_t count) {
      return offset + count <= size;
    };
    base_ = segment.Base;
    if (Get16(2) != 42) return;
    const std::uint32_t ifd = Get32(4);
    if (!holds(ifd, 2)) return;
    const std::uint32_t count = Get16(ifd);
    if (!holds(std::uint64_t{ifd} + 2, std::uint64_t{count} * kEntrySize)) return;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t entry = ifd + 2 + i * kEntrySize;
      if (Get16(entry) != kMpEntryTag) continue;
      const std::uint32_t bytes = Get32(entry + 4);
      const std::uint32_t offset = Get32(entry + 8);
      if (bytes == 0 || bytes % kMpEntrySize != 0 || !holds(offset, bytes)) return;
      list_ = offset;
      Count = bytes / kMpEntrySize;
    }
  }

  std::uint32_t Size(std::uint32_t i) const { return Get32(SizeField(i)); }
  std::uint32_t Offset(std::uint32_t i) const { return Get32(OffsetField(i)); }
  // Where the value of Size(i) or Offset(i) sits, counted from the MP header.
  std::size_t SizeField(std::uint32_t i) const { return list_ + i * kMpEntrySize + 4; }
  std::size_t OffsetField(std::uint32_t i) const { return list_ + i * kMpEntrySize + 8; }
  bool Little() const { return little_; }
  // An image the file does not hold (a dependent image left out, say) has size and offset 0;
  // the first image's offset is 0 as well, so this is for the others only.
  bool Absent(std::uint32_t i) const { return i > 0 && Size(i) == 0 && Offset(i) == 0; }

  std::uint32_t Count = 0;

 private:
  std::uint32_t Get16(std::uint32_t offset) const {
    const std::uint8_t* p = &file_[base_ + offset];
    return little_ ? p[0] | p[1] << 8 : p[0] << 8 | p[1];
  }
  std::uint32_t Get32(std::uint32_t offset) const {
    const std::uint32_t first = Get16(offset);
    const std::uint32_t second = Get16(offset + 2);
    return little_ ? first | second << 16 : first << 16 | second;
  }

  std::span<const std::uint8_t> file_;
  std::size_t base_ = 0;
  std::uint32_t list_ = 0;
  bool little_ = false;
};

void Put32(std::uint8_t* p, std::uint32_t value, bool little) {
  for (int k = 0; k < 4; ++k) p[little ? k : 3 - k] = static_cast<std::uint8_t>(value >> (8 * k));
}

}  // namespace

bool RewriteMpfEntries(std::span<std::uint8_t> output, std::size_t outputFirstImageEnd,
                       std::span<const std::uint8_t> source, std::size_t sourceFirstImageEnd) {
  const std::optional<TMpfSegment> from = FindMpfSegment(source);
  const std::optional<TMpfSegment> to = FindMpfSegment(output);
  if (!from || !to || to->End - to->Base != from->End - from->Base ||
      !std::equal(source.begin() + static_cast<std::ptrdiff_t>(from->Base),
                  source.begin() + static_cast<std::ptrdiff_t>(from->End),
                  output.begin() + static_cast<std::ptrdiff_t>(to->Base))) {
    return false;
  }
  const TMpEntries entries(source, *from);
  if (entries.Count == 0 || entries.Offset(0) != 0 || entries.Size(0) != sourceFirstImageEnd) {
    return false;
  }
  for (std::uint32_t i = 1; i < entries.Count; ++i) {
    if (entries.Absent(i)) continue;
    const std::uint64_t start = from->Base + std::uint64_t{entries.Offset(i)};
    if (start < sourceFirstImageEnd || start + entries.Size(i) > source.size() ||
        entries.Size(i) < 2 || source[start] != 0xFF || source[start + 1] != 0xD8) {
      return false;
    }
  }
  // Each following image moves with the end of the first one; its offset counts from the MP
  // header, which may have moved as well.
  const std::int64_t shift =
      static_cast<std::int64_t>(outputFirstImageEnd) -
      static_cast<std::int64_t>(sourceFirstImageEnd) -
      (static_cast<std::int64_t>(to->Base) - static_cast<std::int64_t>(from->Base));
  constexpr std::int64_t kLargest = std::numeric_limits<std::uint32_t>::max();
  if (static_cast<std::int64_t>(outputFirstImageEnd) > kLargest) return false;
  for (std::uint32_t i = 1; i < entries.Count; ++i) {
    if (!entries.Absent(i) && entries.Offset(i) + shift > kLargest) return false;
  }
  std::uint8_t* header = &output[to->Base];
  Put32(header + entries.SizeField(0), static_cast<std::uint32_t>(outputFirstImageEnd),
        entries.Little());
  for (std::uint32_t i = 1; i < entries.Count; ++i) {
    if (entries.Absent(i)) continue;
    Put32(header + entries.OffsetField(i), static_cast<std::uint32_t>(entries.Offset(i) + shift),
          entries.Little());
  }
  return true;
}

}  // namespace tarvo
