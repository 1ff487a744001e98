// The TIFF structure that Exif and MPF segments carry: a header naming the byte order, then IFDs
// of twelve-byte entries, all addressed by offsets from the header's first byte.
#pragma once

#include <cstdint>
#include <span>

namespace tarvo {

class TTiffView {
 public:
  static constexpr std::uint32_t kHeaderSize = 8;  // byte order, 42, offset of the first IFD
  static constexpr std::uint32_t kEntrySize = 12;  // tag, type, count, value or offset

  // tiff starts at the header. Valid() is false unless it names a byte order and 42.
  explicit TTiffView(std::span<std::uint8_t> tiff) : tiff_(tiff) {
    if (tiff.size() < kHeaderSize || tiff[0] != tiff[1] || (tiff[0] != 'I' && tiff[0] != 'M')) {
      return;
    }
    little_ = tiff[0] == 'I';
    valid_ = Get16(2) == 42;
  }

  bool Valid() const { return valid_; }
  std::uint32_t FirstIfd() const { return Get32(4); }

  // Every offset read from the structure is checked here before use; the header itself holds
  // no IFD or value, so an offset into it is refused as well.
  bool Holds(std::uint64_t offset, std::uint64_t count) const {
    return offset >= kHeaderSize && offset + count <= tiff_.size();
  }
  std::uint16_t Get16(std::uint32_t offset) const {
    const std::uint8_t* p = tiff_.data() + offset;
    return static_cast<std::uint16_t>(little_ ? p[0] | p[1] << 8 : p[0] << 8 | p[1]);
  }
  std::uint32_t Get32(std::uint32_t offset) const {
    const std::uint32_t first = Get16(offset);
    const std::uint32_t second = Get16(offset + 2);
    return little_ ? first | second << 16 : first << 16 | second;
  }
  void Put16(std::uint32_t offset, std::uint16_t value) {
    std::uint8_t* p = tiff_.data() + offset;
    p[little_ ? 0 : 1] = static_cast<std::uint8_t>(value);
    p[little_ ? 1 : 0] = static_cast<std::uint8_t>(value >> 8);
  }
  void Put32(std::uint32_t offset, std::uint32_t value) {
    Put16(offset + (little_ ? 0 : 2), static_cast<std::uint16_t>(value));
    Put16(offset + (little_ ? 2 : 0), static_cast<std::uint16_t>(value >> 16));
  }
  // The entry count of the IFD at offset, or -1 when the IFD does not fit.
  int EntryCount(std::uint32_t offset) const {
    if (!Holds(offset, 2)) return -1;
    const std::uint16_t count = Get16(offset);
    return Holds(std::uint64_t{offset} + 2, std::uint64_t{count} * kEntrySize) ? count : -1;
  }
  // Where entry i of the IFD at offset starts.
  static std::uint32_t Entry(std::uint32_t ifd, int i) {
    return ifd + 2 + static_cast<std::uint32_t>(i) * kEntrySize;
  }

 private:
  std::span<std::uint8_t> tiff_;
  bool little_ = false;
  bool valid_ = false;
};

}  // namespace tarvo
