#include "DcPicture.h"

namespace tarvo {

TDcPicture DcPictureOf(const TJpegModel& model, const TBlockSource& blocks,
                       const TTrimWindow& window) {
  TJpegModel cut = model;
  cut.Width = window.Width;
  cut.Height = window.Height;
  cut.LayOutBlocks();
  TDcPicture picture;
  picture.Width = window.Width;
  picture.Height = window.Height;
  for (std::size_t slot = 0; slot < cut.Components.size(); ++slot) {
    const TFrameComponent& component = cut.Components[slot];
    TDcPicture::TPlane plane;
    plane.HSampling = component.HSampling;
    plane.VSampling = component.VSampling;
    plane.Cols = component.BlocksWide;
    plane.Rows = component.BlocksHigh;
    plane.Dc.resize(static_cast<std::size_t>(plane.Cols) * static_cast<std::size_t>(plane.Rows));
    const std::size_t firstRow = static_cast<std::size_t>(window.FirstRow) * component.VSampling;
    const std::size_t firstCol = static_cast<std::size_t>(window.FirstCol) * component.HSampling;
    const auto cols = static_cast<std::size_t>(plane.Cols);
    const auto rows = static_cast<std::size_t>(plane.Rows);
    // Down the columns when the source's rows are the output's columns: the reads then follow
    // the store instead of jumping a store row at each step.
    if (blocks.Transposed()) {
      for (std::size_t col = 0; col < cols; ++col) {
        for (std::size_t row = 0; row < rows; ++row) {
          plane.Dc[row * cols + col] =
              blocks.Dc(static_cast<int>(slot), firstRow + row, firstCol + col);
        }
      }
    } else {
      for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t col = 0; col < cols; ++col) {
          plane.Dc[row * cols + col] =
              blocks.Dc(static_cast<int>(slot), firstRow + row, firstCol + col);
        }
      }
    }
    picture.Planes.push_back(std::move(plane));
  }
  return picture;
}

}  // namespace tarvo
