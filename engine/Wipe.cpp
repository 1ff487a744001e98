#include "Wipe.h"

#include <algorithm>
#include <cstdlib>

namespace tarvo {

namespace {

// MCUs across and down a mosaic's cell: fewer would leave the faces and letters it covers too
// easy to make out.
constexpr std::size_t kCellMcus = 2;

std::int16_t RoundedMean(std::int64_t sum, std::int64_t count) {
  if (count == 0) return 0;
  const std::int64_t half = count / 2;
  return static_cast<std::int16_t>(sum >= 0 ? (sum + half) / count : -((-sum + half) / count));
}

}  // namespace

TTrimRect GrownToMcus(const TTrimRect& region, const TMcuGrid& grid) {
  const std::int32_t right = std::min(region.Right, grid.Width);
  const std::int32_t bottom = std::min(region.Bottom, grid.Height);
  const std::int32_t left = std::max(region.Left, 0);
  const std::int32_t top = std::max(region.Top, 0);
  if (left >= right || top >= bottom) return {};
  const auto up = [](std::int32_t v, std::int32_t mcu) { return (v + mcu - 1) / mcu * mcu; };
  return {McuGridLine(left, grid.McuWidth), McuGridLine(top, grid.McuHeight),
          up(right, grid.McuWidth), up(bottom, grid.McuHeight)};
}

TWipes::TWipes(const TJpegModel& model, const TCoefficientStore& store,
               std::span<const TWipe> wipes, const TKnown& known)
    : TWipes(
          model,
          [&store](int slot, std::size_t row, std::size_t col) {
            return store.Block(slot, row, col)[0];
          },
          wipes, known) {}

TWipes::TWipes(const TJpegModel& model, const TDcOf& dcOf, std::span<const TWipe> wipes,
               const TKnown& known) {
  const TMcuGrid grid{model.McuWidth(), model.McuHeight(), model.Width, model.Height};
  for (const TWipe& wipe : wipes) {
    const TTrimRect grown = GrownToMcus(wipe.Region, grid);
    if (grown.Left >= grown.Right) continue;
    const auto mcuCols = static_cast<std::size_t>((grown.Right - grown.Left) / grid.McuWidth);
    const auto mcuRows = static_cast<std::size_t>((grown.Bottom - grown.Top) / grid.McuHeight);
    TArea area;
    for (std::size_t slot = 0; slot < model.Components.size(); ++slot) {
      const TFrameComponent& component = model.Components[slot];
      const auto h = static_cast<std::size_t>(component.HSampling);
      const auto v = static_cast<std::size_t>(component.VSampling);
      TPatch& patch = area.Patches[slot];
      patch.Row = static_cast<std::size_t>(grown.Top / grid.McuHeight) * v;
      patch.Col = static_cast<std::size_t>(grown.Left / grid.McuWidth) * h;
      patch.Rows = mcuRows * v;
      patch.Cols = mcuCols * h;
      patch.CellRows = patch.Rows;
      patch.CellCols = patch.Cols;
      // The blocks that carry the picture's samples, not those padding it to whole MCUs.
      const auto high = static_cast<std::size_t>(component.BlocksHigh);
      const auto wide = static_cast<std::size_t>(component.BlocksWide);
      const auto mean = [&](std::size_t row0, std::size_t row1, std::size_t col0, std::size_t col1,
                            auto&& take) {
        std::int64_t sum = 0;
        std::int64_t count = 0;
        for (std::size_t r = row0; r < std::min(row1, high); ++r) {
          for (std::size_t c = col0; c < std::min(col1, wide); ++c) {
            if (!take(r, c) ||
                (known && !known(static_cast<int>(r / v), static_cast<int>(c / h)))) {
              continue;
            }
            sum += WipedDc(dcOf, static_cast<int>(slot), r, c);
            ++count;
          }
        }
        return RoundedMean(sum, count);
      };
      if (wipe.Fill == EWipeFill::kGrey) {
        patch.Dc = {0};
      } else if (wipe.Fill == EWipeFill::kFlat) {
        // The ring of blocks around the patch; a block before the first row or column wraps
        // round to a large number, which the picture's bounds leave out.
        const std::size_t row0 = patch.Row - 1;
        const std::size_t col0 = patch.Col - 1;
        patch.Dc = {mean(patch.Row == 0 ? 0 : row0, patch.Row + patch.Rows + 1,
                         patch.Col == 0 ? 0 : col0, patch.Col + patch.Cols + 1,
                         [&](std::size_t r, std::size_t c) {
                           return r - patch.Row >= patch.Rows || c - patch.Col >= patch.Cols;
                         })};
      } else {
        // A last row or column of cells too thin for a whole cell joins the one before it.
        patch.CellsAcross = std::max<std::size_t>(1, mcuCols / kCellMcus);
        patch.CellsDown = std::max<std::size_t>(1, mcuRows / kCellMcus);
        patch.CellCols = std::min(patch.Cols, kCellMcus * h);
        patch.CellRows = std::min(patch.Rows, kCellMcus * v);
        for (std::size_t y = 0; y < patch.CellsDown; ++y) {
          const std::size_t row0 = patch.Row + y * patch.CellRows;
          const std::size_t row1 =
              y + 1 == patch.CellsDown ? patch.Row + patch.Rows : row0 + patch.CellRows;
          for (std::size_t x = 0; x < patch.CellsAcross; ++x) {
            const std::size_t col0 = patch.Col + x * patch.CellCols;
            const std::size_t col1 =
                x + 1 == patch.CellsAcross ? patch.Col + patch.Cols : col0 + patch.CellCols;
            patch.Dc.push_back(
                mean(row0, row1, col0, col1, [](std::size_t, std::size_t) { return true; }));
          }
        }
      }
    }
    areas_.push_back(std::move(area));
  }
}

std::int16_t TWipes::WipedDc(const TDcOf& dcOf, int slot, std::size_t row, std::size_t col) const {
  std::array<std::int16_t, 64> scratch;
  const std::int16_t* fill = Fill(slot, row, col, scratch.data());
  return fill != nullptr ? fill[0] : dcOf(slot, row, col);
}

const std::int16_t* TWipes::Fill(int slot, std::size_t row, std::size_t col,
                                 std::int16_t* scratch) const {
  // A later wipe lies over an earlier one.
  for (auto area = areas_.rbegin(); area != areas_.rend(); ++area) {
    const TPatch& patch = area->Patches[static_cast<std::size_t>(slot)];
    // Blocks before the patch wrap round to large numbers and fall outside it too.
    const std::size_t r = row - patch.Row;
    const std::size_t c = col - patch.Col;
    if (r >= patch.Rows || c >= patch.Cols) continue;
    const std::size_t cell = std::min(r / patch.CellRows, patch.CellsDown - 1) * patch.CellsAcross +
                             std::min(c / patch.CellCols, patch.CellsAcross - 1);
    std::fill_n(scratch, 64, std::int16_t{0});
    scratch[0] = patch.Dc[cell];
    return scratch;
  }
  return nullptr;
}

}  // namespace tarvo
