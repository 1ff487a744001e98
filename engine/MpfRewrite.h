// Keeps the MP entries of an MPF segment (APP2 "MPF\0") pointing at the images that follow the
// first one (previews, the second picture of an MPO, gain maps) when a trim changes its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvo {

// Where a file's MPF segment has its MP header (the base of its offsets) and its end, and where
// the file's first image (SOI to EOI) ends.
struct TMpfPlace {
  std::size_t Header = 0;
  std::size_t End = 0;
  std::size_t FirstImageEnd = 0;
};

// output is a trim of source holding source's MPF segment unchanged at to, and the same bytes
// after its first image. Sets the first MP entry's size to the new length and moves the offsets
// of the other entries with the images they point at. Returns false and leaves output untouched
// when the entries do not describe the source: the first image at offset 0 with its true size,
// every other one a JPEG stream after it.
bool RewriteMpfEntries(std::span<std::uint8_t> output, const TMpfPlace& to,
                       std::span<const std::uint8_t> source, const TMpfPlace& from);

}  // namespace tarvo
