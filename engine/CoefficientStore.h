// The quantised coefficients of a whole picture, one array of blocks per component, laid out
// in rows of whole MCUs so that an interleaved scan and a scan of one component fill the same
// places.
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "CoefficientArray.h"
#include "JpegModel.h"
#include "LargeBuffer.h"
#include "PagePopulator.h"

namespace tarvo {

class TCoefficientStore {
 public:
  static constexpr int kMaxComponents = 4;

  // Sizes the arrays for model. Memory that is kept was faulted in by an earlier decode; new
  // memory has its pages faulted in on the side, row by row ahead of the decoder (Advance).
  // zeroed clears every block, for decoders that fill blocks a piece at a time. Pages are
  // faulted in ahead only for the first rowsInOrder MCU rows, which the decoder fills from the
  // top: one that stops early, or takes only some restart intervals (0), touches no others.
  // Throws std::bad_alloc, also before allocating anything when the arrays would take more than
  // MemoryLimit bytes.
  void Allocate(const TJpegModel& model, bool zeroed, int rowsInOrder = INT_MAX);
  // The physical memory by default: a store larger than that could only be paged to death. A
  // few bytes of an arithmetic-coded scan can declare a picture of any size.
  std::uint64_t MemoryLimit = PhysicalMemory();
  // The decoder has filled the first rows MCU rows.
  void Advance(int rows) { populator_.Advance(static_cast<std::size_t>(rows)); }
  // Stops faulting pages in; called however decoding ends.
  void Finish() { populator_.Finish(); }

  std::size_t RowBlocks(int slot) const { return rowBlocks_[static_cast<std::size_t>(slot)]; }
  std::int16_t* Block(int slot, std::size_t row, std::size_t col) {
    return arrays_[static_cast<std::size_t>(slot)].Block(row * RowBlocks(slot) + col);
  }
  const std::int16_t* Block(int slot, std::size_t row, std::size_t col) const {
    return arrays_[static_cast<std::size_t>(slot)].Block(row * RowBlocks(slot) + col);
  }

 private:
  std::array<TCoefficientArray, kMaxComponents> arrays_;
  std::array<std::size_t, kMaxComponents> rowBlocks_{};
  // Declared after the arrays: it must stop touching them before they are freed.
  TPagePopulator populator_;
};

}  // namespace tarvo
