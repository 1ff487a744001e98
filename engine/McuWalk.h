// The order in which a scan codes its blocks (ITU-T T.81 A.2) and where its restart intervals
// end (B.2.5): one walk for the decoders that read scans and for the trim that writes one, so
// that reading and writing cannot drift apart.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <numeric>

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
  // Rows of the walk that make one MCU row of the frame: a scan of one component walks its
  // block rows, V of them to an MCU row; any other walk walks MCU rows.
  int RowsPerMcuRow = 1;
};

// The restart markers count RST0 to RST7 and then start again at RST0 (ITU-T T.81 B.2.1): the
// number of the marker that ends interval k, counted from 0.
constexpr int RestartNumber(std::int64_t interval) { return static_cast<int>(interval % 8); }

// Rows r of cols MCUs each at whose start an interval of interval MCUs starts: those where
// r x cols is a multiple of interval, every this many rows; 1 without restart markers.
constexpr std::int64_t RestartRowStep(std::int64_t interval, std::int64_t cols) {
  return interval == 0 ? 1 : interval / std::gcd(interval, cols);
}

// Calls block(c, row, col) for each block of the MCU in MCU row r and column m of layout, in
// coding order. False as soon as block returns false.
template <typename Block>
[[gnu::always_inline]] inline bool WalkMcuBlocks(const TMcuLayout& layout, int r, int m,
                                                 Block&& block) {
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

// Walks the MCUs of layout in coding order, each as a whole: atRow(r) before each row of MCUs,
// mcu(r, m) for the MCU in row r and column m, and atRestart() after every RestartInterval MCUs
// except the last MCU, after which no restart marker stands. False as soon as mcu or atRestart
// returns false. For a decoder that takes an MCU at a time; others walk blocks (WalkMcus).
template <typename AtRow, typename Mcu, typename AtRestart>
[[gnu::always_inline]] inline bool WalkWholeMcus(const TMcuLayout& layout, AtRow&& atRow, Mcu&& mcu,
                                                 AtRestart&& atRestart) {
  int restartCount = layout.RestartCount;
  for (int r = layout.FirstRow; r < layout.EndRow; ++r) {
    atRow(r);
    for (int m = layout.FirstCol; m < layout.EndCol; ++m) {
      if (!mcu(r, m)) return false;
      if (layout.RestartInterval != 0 && ++restartCount == layout.RestartInterval &&
          !(r == layout.EndRow - 1 && m == layout.EndCol - 1)) {
        restartCount = 0;
        if (!atRestart()) return false;
      }
    }
  }
  return true;
}

// Walks layout in coding order as WalkWholeMcus does, calling block(c, row, col) for each block
// of each MCU (WalkMcuBlocks). False as soon as block or atRestart returns false.
template <typename AtRow, typename Block, typename AtRestart>
bool WalkMcus(const TMcuLayout& layout, AtRow&& atRow, Block&& block, AtRestart&& atRestart) {
  // Inlined by force: with a call between the walk and the blocks the compiler no longer inlines
  // a progressive block decode, which costs a fifth more.
  return WalkWholeMcus(
      layout, atRow,
      [&](int r, int m)
          __attribute__((always_inline)) { return WalkMcuBlocks(layout, r, m, block); },
      atRestart);
}

}  // namespace tarvo
