// The order in which a scan codes its blocks (ITU-T T.81 A.2) and where its restart intervals
// end (B.2.5): one walk for the decoders that read scans and for the trim that writes one, so
// that reading and writing cannot drift apart.
#pragma once

#include <array>
#include <cstddef>

#include "CoefficientStore.h"

namespace tarvo {

// What a walk covers: the components of each MCU with their blocks, and the MCUs.
struct TMcuLayout {
  struct TComponent {
    int Slot = 0;  // the component's store slot
    int H = 1;     // blocks across and down in one MCU
    int V = 1;
  };
  std::array<TComponent, TCoefficientStore::kMaxComponents> Components{};
  int Count = 0;
  // The MCUs walked; the ends exclusive.
  int FirstCol = 0;
  int EndCol = 0;
  int FirstRow = 0;
  int EndRow = 0;
  int RestartInterval = 0;  // MCUs per interval, 0 without restart markers
  // MCUs of the interval under way that an earlier walk, which this one goes on from, walked.
  int RestartCount = 0;
};

// Calls block(c, row, col) for each block of the MCU in MCU row r and column m of layout, in
// coding order. False as soon as block returns false.
template <typename Block>
bool WalkMcuBlocks(const TMcuLayout& layout, int r, int m, Block&& block) {
  for (int c = 0; c < layout.Count; ++c) {
    const TMcuLayout::TComponent& component = layout.Components[static_cast<std::size_t>(c)];
    for (int v = 0; v < component.V; ++v) {
      const std::size_t row = static_cast<std::size_t>(r) * component.V + v;
      for (int h = 0; h < component.H; ++h) {
        if (!block(c, row, static_cast<std::size_t>(m) * component.H + h)) return false;
      }
    }
  }
  return true;
}

// Walks layout in coding order: atRow(r) before each row of MCUs, block(c, row, col) for each
// block, c indexing the layout's components and row and col counting that component's blocks,
// and atRestart() after every RestartInterval MCUs except the last MCU, after which no restart
// marker stands. False as soon as block or atRestart returns false.
template <typename AtRow, typename Block, typename AtRestart>
bool WalkMcus(const TMcuLayout& layout, AtRow&& atRow, Block&& block, AtRestart&& atRestart) {
  int restartCount = layout.RestartCount;
  for (int r = layout.FirstRow; r < layout.EndRow; ++r) {
    atRow(r);
    for (int m = layout.FirstCol; m < layout.EndCol; ++m) {
      if (!WalkMcuBlocks(layout, r, m, block)) return false;
      if (layout.RestartInterval != 0 && ++restartCount == layout.RestartInterval &&
          !(r == layout.EndRow - 1 && m == layout.EndCol - 1)) {
        restartCount = 0;
        if (!atRestart()) return false;
      }
    }
  }
  return true;
}

}  // namespace tarvo
