// Checks a trimmed file with libjpeg-turbo: it must decode without a warning, with the declared
// trim size, and where the source itself decodes cleanly, with the source's blocks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "TrimRect.h"

namespace tarvo::fuzzing {

// The memory one input's coefficients may take, in the engine and in libjpeg's reading of the
// source and the outputs: well inside the fuzzer's -rss_limit_mb.
inline constexpr std::uint64_t kMemoryBound = std::uint64_t{256} << 20;

// The quantised coefficients libjpeg reads from a file.
struct TCoefficientImage {
  struct TComponent {
    int h = 1;
    int v = 1;
    int widthInBlocks = 0;  // the blocks the picture covers
    int heightInBlocks = 0;
    int storedWidth = 0;  // rounded up to whole MCUs, as libjpeg keeps them
    int storedHeight = 0;
    std::vector<std::int16_t> blocks;  // stored rows of storedWidth blocks, 64 values each
    const std::int16_t* Block(int row, int col) const {
      return blocks.data() + (static_cast<std::size_t>(row) * storedWidth + col) * 64;
    }
  };
  long width = 0;
  long height = 0;
  long warnings = 0;  // besides those about the source's own JFIF or Adobe segment
  std::vector<TComponent> components;
};

// False when libjpeg cannot read jpeg at all; its warnings are counted, and printed when
// reportWarnings is set.
bool ReadCoefficientImage(std::span<const std::uint8_t> jpeg, TCoefficientImage& image,
                          bool reportWarnings);

// The trim in jpeg decodes without a warning at the size of rect; it is read into image.
bool OutputDecodes(std::span<const std::uint8_t> jpeg, const TTrimRect& rect,
                   TCoefficientImage& image);

// Every block of output equals the block of source at the window that starts at MCU column
// firstCol and MCU row firstRow (a one-component frame has one block per MCU).
bool WindowMatches(const TCoefficientImage& source, const TCoefficientImage& output, int firstCol,
                   int firstRow);

}  // namespace tarvo::fuzzing
