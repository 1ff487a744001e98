#include "DcPicture.h"

namespace tarvo {

TDcPicture DcPictureFor(const TJpegModel& model, const TTrimWindow& window) {
  TJpegModel cut = model;
  cut.Width = window.Width;
  cut.Height = window.Height;
  cut.LayOutBlocks();
  TDcPicture picture;
  picture.Width = window.Width;
  picture.Height = window.Height;
  for (const TFrameComponent& component : cut.Components) {
    TDcPicture::TPlane& plane = picture.Planes.emplace_back();
    plane.HSampling = component.HSampling;
    plane.VSampling = component.VSampling;
    plane.Cols = component.BlocksWide;
    plane.Rows = component.BlocksHigh;
    plane.Dc.resize(static_cast<std::size_t>(plane.Cols) * static_cast<std::size_t>(plane.Rows));
    plane.FirstRow = static_cast<std::size_t>(window.FirstRow) * component.VSampling;
    plane.FirstCol = static_cast<std::size_t>(window.FirstCol) * component.HSampling;
  }
  return picture;
}

}  // namespace tarvo
