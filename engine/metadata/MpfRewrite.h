// The MP Index of an MPF segment (APP2 "MPF\0"): which images a file holds after its first one
// (previews, the other views of an MPO, gain maps), where they are, and how a trim rewrites it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarvo {

struct TMpEntry {
  std::uint32_t Attribute = 0;  // flags, format and MP type
  std::uint32_t Size = 0;
  std::uint32_t Offset = 0;  // from the MP header; 0 for the first image
  std::uint32_t Type() const { return Attribute & 0xFFFFFF; }
};

// MP types (CIPA DC-007 5.2.3.3.1).
inline constexpr std::uint32_t kMpLargeThumbnailVga = 0x010001;
inline constexpr std::uint32_t kMpLargeThumbnailFullHd = 0x010002;
inline constexpr std::uint32_t kMpPanorama = 0x020001;
inline constexpr std::uint32_t kMpMultiAngle = 0x020003;

struct TMpIndex {
  std::size_t Base = 0;    // the MP header in the file, which the offsets count from
  std::uint32_t List = 0;  // the first entry, from Base
  std::vector<TMpEntry> Entries;
  // An image the file does not hold (a dependent image left out, say) has size and offset 0;
  // the first image's offset is 0 as well, so this is for the others only.
  bool Absent(std::size_t i) const {
    return i > 0 && Entries[i].Size == 0 && Entries[i].Offset == 0;
  }
};

// The entries of the first MPF segment among jpeg's header segments, when its MP header and MP
// Index IFD lead to a whole list of them.
std::optional<TMpIndex> ReadMpIndex(std::span<const std::uint8_t> jpeg);

struct TByteRange {
  std::size_t Start = 0;
  std::size_t End = 0;
};

// Where the image of each entry after the first lies in file, whose first image ends at
// firstImageEnd; nothing for entries the file does not hold. Writers differ in what the sizes
// count (padding between images, say) and some offsets are wrong: an entry whose offset does not
// lead to an SOI is found at the first SOI after it, and an image ends where its size says, at
// the end of the file, or where the next one starts, whichever comes first.
std::vector<std::optional<TByteRange>> LocateMpImages(std::span<const std::uint8_t> file,
                                                      const TMpIndex& index,
                                                      std::size_t firstImageEnd);

// body, the MPF segment's body (identifier included) that holds index, listing only the entries
// held says: the others are taken out of the list, which the kept ones fill from its start, and
// out of the image count and any unique-ID list; references between entries follow, those to an
// entry taken out become 0. The segment keeps its length, the freed bytes are zeroed.
// indexBase is where index.Base lies in body.
std::vector<std::uint8_t> WithHeldEntries(std::span<const std::uint8_t> body, std::size_t indexBase,
                                          const TMpIndex& index, const std::vector<bool>& held);

// Writes the size and offset of entry i into the MP Index that index describes.
void PutMpEntry(std::span<std::uint8_t> file, const TMpIndex& index, std::size_t i,
                std::uint32_t size, std::uint32_t offset);

}  // namespace tarvo
