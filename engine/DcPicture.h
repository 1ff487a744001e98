// The DC coefficient of every block of a cut: the cut at an eighth of its size, which is all a
// thumbnail needs. Reading it off the decoded blocks spares decoding the cut's coded data again.
#pragma once

#include <cstdint>
#include <vector>

#include "BlockSource.h"
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
  };
  int Width = 0;  // the cut's size in pixels
  int Height = 0;
  std::vector<TPlane> Planes;  // per frame component, in frame order
};

// The DC picture of the output that codes window of model from blocks, as WriteWindow codes it.
TDcPicture DcPictureOf(const TJpegModel& model, const TBlockSource& blocks,
                       const TTrimWindow& window);

}  // namespace tarvo
