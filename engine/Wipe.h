// Lossless redaction: the blocks of every MCU a region touches are replaced in all components,
// every other block is kept as it is. Turns, cuts and wipes compose, because the wiped blocks
// are made as the writer asks for them and the decoded store is never changed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "CoefficientStore.h"
#include "JpegModel.h"
#include "OrientedTrim.h"
#include "TrimRect.h"

namespace tarvo {

enum class EWipeFill {
  kGrey,    // every coefficient zero: mid grey
  kFlat,    // one colour per component: the average DC of the blocks just outside the region
  kMosaic,  // cells of 2 x 2 MCUs or more, each block of a cell given the cell's average DC
};

struct TWipe {
  TTrimRect Region;  // stored pixels of the source, not yet grown to the MCU grid
  EWipeFill Fill = EWipeFill::kGrey;
  friend bool operator==(const TWipe&, const TWipe&) = default;
};

// region grown outward to the MCU grid of grid and kept within the picture's MCUs: the pixels a
// wipe of region blanks. Empty when region does not overlap the picture.
TTrimRect GrownToMcus(const TTrimRect& region, const TMcuGrid& grid);

// The wiped blocks of one picture: wipes applied in order over the blocks of a store laid out for
// model, each flat or mosaic fill averaging the blocks as the earlier wipes left them. The fills
// are worked out once; a wiped block is then made on demand, so one TWipes serves the coding
// threads of one output at once.
class TWipes {
 public:
  // The DC value of the source's block of slot at row and col of the store's grid.
  using TDcOf = std::function<std::int16_t(int slot, std::size_t row, std::size_t col)>;

  // Whether the MCU at row and col holds blocks read from the file: those of a file cut off or
  // damaged that were never read are left out of every average.
  using TKnown = std::function<bool(int row, int col)>;

  TWipes() = default;
  TWipes(const TJpegModel& model, const TCoefficientStore& store, std::span<const TWipe> wipes,
         const TKnown& known = nullptr);
  // The fills averaged from the DC values dcOf gives, for a caller that holds no blocks.
  TWipes(const TJpegModel& model, const TDcOf& dcOf, std::span<const TWipe> wipes,
         const TKnown& known = nullptr);

  bool Empty() const { return areas_.empty(); }
  // The block of slot at row and col of the store's grid as wiped, made in scratch (64
  // coefficients, zig-zag order), or nullptr for a block no wipe touches. A wiped block holds its
  // DC value only, so a turn leaves it as it is.
  const std::int16_t* Fill(int slot, std::size_t row, std::size_t col, std::int16_t* scratch) const;
  // The block as wiped, or the store's where no wipe touches it.
  const std::int16_t* Block(const TCoefficientStore& store, int slot, std::size_t row,
                            std::size_t col, std::int16_t* scratch) const {
    const std::int16_t* fill = Fill(slot, row, col, scratch);
    return fill != nullptr ? fill : store.Block(slot, row, col);
  }

 private:
  // One wipe in one component: its blocks, and the DC value of each of its cells, row by row
  // (one cell for grey and flat).
  struct TPatch {
    std::size_t Row = 0, Col = 0, Rows = 0, Cols = 0;
    std::size_t CellRows = 1, CellCols = 1;  // blocks per cell
    std::size_t CellsAcross = 1, CellsDown = 1;
    std::vector<std::int16_t> Dc;
  };
  struct TArea {
    std::array<TPatch, TCoefficientStore::kMaxComponents> Patches;
  };

  // The block's DC value as the wipes so far left it.
  std::int16_t WipedDc(const TDcOf& dcOf, int slot, std::size_t row, std::size_t col) const;

  std::vector<TArea> areas_;
};

}  // namespace tarvo
