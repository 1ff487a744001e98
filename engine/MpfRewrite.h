// Keeps the MP entries of an MPF segment (APP2 "MPF\0") pointing at the images that follow the
// first one (previews, the second picture of an MPO, gain maps) when a trim changes its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvo {

// output is a trim of source: the same header segments, with the first image (SOI to EOI) ending
// at outputFirstImageEnd instead of sourceFirstImageEnd, and the same bytes after it. Sets the
// first MP entry's size to the new length and moves the offsets of the other entries with the
// images they point at. Returns false and leaves output untouched when the source has no MPF
// segment or its entries do not describe the source: the first image at offset 0 with its true
// size, every other one a JPEG stream after it.
bool RewriteMpfEntries(std::span<std::uint8_t> output, std::size_t outputFirstImageEnd,
                       std::span<const std::uint8_t> source, std::size_t sourceFirstImageEnd);

}  // namespace tarvo
