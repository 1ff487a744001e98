// The DC coefficient of every block of a cut: the cut at an eighth of its size, which is all a
// thumbnail needs. Taking it as the cut is coded spares decoding the cut's coded data again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "JpegModel.h"
#include "TrimWindow.h"

namespace tarvo {

struct TDcPicture {
  struct TPlane {
    int HSampling = 1;
    int VSampling = 1;
    // The blocks that cover the component's samples, row by row: quantised DC values.
    int Cols = 0;
    int Rows = 0;
    std::vector<std::int16_t> Dc;
    // Where the plane's first block stands among the component's blocks the walk counts.
    std::size_t FirstRow = 0;
    std::size_t FirstCol = 0;
  };
  int Width = 0;  // the cut's size in pixels
  int Height = 0;
  std::vector<TPlane> Planes;  // per frame component, in frame order

  // Notes the DC value of the block at row and col of slot's blocks in the walk of the window;
  // the blocks that pad the picture to whole MCUs are left out. Parts of one walk may note their
  // own rows at once.
  void Put(int slot, std::size_t row, std::size_t col, std::int16_t dc) {
    TPlane& plane = Planes[static_cast<std::size_t>(slot)];
    // A block before the plane wraps round to a large number, which the bounds leave out too.
    const std::size_t r = row - plane.FirstRow;
    const std::size_t c = col - plane.FirstCol;
    if (r < static_cast<std::size_t>(plane.Rows) && c < static_cast<std::size_t>(plane.Cols)) {
      plane.Dc[r * static_cast<std::size_t>(plane.Cols) + c] = dc;
    }
  }
  // The DC value Put noted for a block of the plane.
  std::int16_t At(int slot, std::size_t row, std::size_t col) const {
    const TPlane& plane = Planes[static_cast<std::size_t>(slot)];
    return plane
        .Dc[(row - plane.FirstRow) * static_cast<std::size_t>(plane.Cols) + (col - plane.FirstCol)];
  }
};

// The planes of the output that codes window of model (WindowLayout), to be filled with Put.
TDcPicture DcPictureFor(const TJpegModel& model, const TTrimWindow& window);

}  // namespace tarvo
