// Scales interleaved 8-bit pixels down by averaging the area each output pixel covers: a box
// filter with fractional edges, so that no source pixel is skipped and none counts twice.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvo {

struct TPixelPicture {
  int Width = 0;
  int Height = 0;
  int Channels = 3;
  std::vector<std::uint8_t> Samples;  // row by row, Channels per pixel
};

// source scaled to width x height (each at least 1 and at most source's own).
TPixelPicture ScaleByArea(const TPixelPicture& source, int width, int height);

}  // namespace tarvo
