// The MCUs a trim keeps, and the order in which the output's single interleaved scan codes them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "BlockSource.h"
#include "CoefficientStore.h"
#include "JpegModel.h"
#include "McuWalk.h"
#include "TrimRect.h"

namespace tarvo {

struct TTrimWindow {
  int FirstCol = 0;
  int FirstRow = 0;
  int EndCol = 0;  // exclusive
  int EndRow = 0;
  std::uint16_t Width = 0;  // the declared size of the output
  std::uint16_t Height = 0;
  // The source pixels the output shows: from the window's first MCU, the declared size.
  TTrimRect Cut;
};

// Whether window takes any MCU of range.
inline bool Overlaps(const TTrimWindow& window, const TMcuRange& range, int mcuCols) {
  for (int row = window.FirstRow; row < window.EndRow; ++row) {
    if (range.First < row * mcuCols + window.EndCol &&
        row * mcuCols + window.FirstCol < range.End) {
      return true;
    }
  }
  return false;
}

// The window for rect, which lies inside the picture and is snapped (Snapped): it starts at the
// MCU of Left and Top and spans the MCUs up to the one holding Right - 1 and Bottom - 1, which
// is what a decoder of the declared size reads.
inline TTrimWindow WindowOf(const TJpegModel& model, const TTrimRect& rect) {
  const int mcuWidth = model.McuWidth();
  const int mcuHeight = model.McuHeight();
  TTrimWindow window;
  window.Width = static_cast<std::uint16_t>(rect.Right - rect.Left);
  window.Height = static_cast<std::uint16_t>(rect.Bottom - rect.Top);
  window.Cut = rect;
  window.FirstCol = rect.Left / mcuWidth;
  window.EndCol = (rect.Right + mcuWidth - 1) / mcuWidth;
  window.FirstRow = rect.Top / mcuHeight;
  window.EndRow = (rect.Bottom + mcuHeight - 1) / mcuHeight;
  return window;
}

// The output's one interleaved scan over the window: every component, its MCUs, and the
// source's restart interval.
inline TMcuLayout WindowLayout(const TJpegModel& model, const TTrimWindow& window) {
  TMcuLayout layout;
  layout.Count = static_cast<int>(model.Components.size());
  for (int slot = 0; slot < layout.Count; ++slot) {
    const TFrameComponent& component = model.Components[static_cast<std::size_t>(slot)];
    layout.Components[static_cast<std::size_t>(slot)] = {slot, component.HSampling,
                                                         component.VSampling};
  }
  layout.FirstCol = window.FirstCol;
  layout.EndCol = window.EndCol;
  layout.FirstRow = window.FirstRow;
  layout.EndRow = window.EndRow;
  layout.RestartInterval = model.Scans[0].RestartInterval;
  return layout;
}

// The DC predictor of each component slot.
using TDcPredictors = std::array<int, TCoefficientStore::kMaxComponents>;

// Walks the window as the output codes it (WalkMcus): visit(slot, row, col, block, predictor) for
// each block, at row and col of its component's blocks, with its component's DC predictor, which
// starts as given (0 for a whole window) and at 0 after each restart point, and atRestart() where a
// restart marker goes. False as soon as visit returns false.
template <typename AtRow, typename Visit, typename AtRestart>
bool WalkWindow(const TJpegModel& model, const TBlockSource& blocks, const TTrimWindow& window,
                TDcPredictors predictor, AtRow&& atRow, Visit&& visit, AtRestart&& atRestart) {
  std::array<std::int16_t, 64> scratch;
  return WalkMcus(
      WindowLayout(model, window), atRow,
      [&](int slot, std::size_t row, std::size_t col) {
        return visit(slot, row, col, blocks.Block(slot, row, col, scratch.data()),
                     predictor[static_cast<std::size_t>(slot)]);
      },
      [&] {
        predictor.fill(0);
        atRestart();
        return true;
      });
}

}  // namespace tarvo
