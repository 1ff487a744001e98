// Lossless turns in the coefficient domain: the blocks of a cut moved to their turned places,
// each block's coefficients transposed and, for a mirror, its odd frequencies negated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "BlockSource.h"
#include "CoefficientStore.h"
#include "JpegModel.h"
#include "OrientedTrim.h"
#include "Wipe.h"

namespace tarvo {

// The model of cut's output: its size, and under a transposition each component's sampling
// factors (and the MCU's) exchanged. Everything else, tables and header segments included, is
// the source's.
TJpegModel TurnedModel(const TJpegModel& model, const TOrientedTrim& cut);

// The blocks of cut, seen from the output laid out for TurnedModel of cut: each block is taken
// from its place in the source and turned as it is asked for, so a turn needs no second store
// and the memory it would have faulted in. The blocks of wipes, when given, are taken as wiped.
// cut must be Writable on the source's grid; source and wipes must outlive the view.
class TTurnedBlocks final : public TBlockSource {
 public:
  TTurnedBlocks(const TJpegModel& model, const TCoefficientStore& source, const TOrientedTrim& cut,
                const TWipes* wipes = nullptr);
  const std::int16_t* Block(int slot, std::size_t row, std::size_t col,
                            std::int16_t* scratch) const override;

 private:
  // Source block index along one source axis for output block i along the output axis it
  // becomes. A reversed axis counts back from the rectangle's far edge, which lies on the grid.
  struct TAxis {
    int Start = 0;
    int End = 0;
    bool Reversed = false;
    std::size_t At(std::size_t i) const {
      return Reversed ? static_cast<std::size_t>(End - 1) - i : static_cast<std::size_t>(Start) + i;
    }
  };

  // Moves a block's 64 coefficients turned into another block.
  using TTurnBlock = void (*)(const std::int16_t* from, std::int16_t* to);

  // The source's block at row and col, as wiped, turned.
  const std::int16_t* At(int slot, std::size_t row, std::size_t col, std::int16_t* scratch) const;

  const TCoefficientStore& source_;
  const TWipes* wipes_;
  bool transpose_;
  TTurnBlock turnBlock_ = nullptr;
  std::array<TAxis, TCoefficientStore::kMaxComponents> xs_{};
  std::array<TAxis, TCoefficientStore::kMaxComponents> ys_{};
};

// The zig-zag index of the coefficient that lands on zig-zag index k of a block transposed.
int TransposedZigzag(int k);

}  // namespace tarvo
