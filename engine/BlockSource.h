// Where a written window takes its blocks from: the store as decoded, or a turned view of it,
// so that a turn or a wipe is coded straight from the decoded blocks without a copy of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CoefficientStore.h"
#include "Wipe.h"

namespace tarvo {

class TBlockSource {
 public:
  // The 64 coefficients, in zig-zag order, of a component's block at row and col of the
  // output's block grid: in place, or made in scratch (64 coefficients) and valid until scratch
  // is written again. Sources keep no state of their own, so parts of one output can be coded
  // from one source on several threads at once, each with its own scratch.
  virtual const std::int16_t* Block(int slot, std::size_t row, std::size_t col,
                                    std::int16_t* scratch) const = 0;

 protected:
  TBlockSource() = default;
  TBlockSource(const TBlockSource&) = default;
  TBlockSource& operator=(const TBlockSource&) = default;
  ~TBlockSource() = default;
};

// The blocks of a store where they stand, those of wipes, when given, as wiped.
class TStoredBlocks final : public TBlockSource {
 public:
  explicit TStoredBlocks(const TCoefficientStore& store, const TWipes* wipes = nullptr)
      : store_(store), wipes_(wipes != nullptr && !wipes->Empty() ? wipes : nullptr) {}
  const std::int16_t* Block(int slot, std::size_t row, std::size_t col,
                            std::int16_t* scratch) const override {
    return wipes_ != nullptr ? wipes_->Block(store_, slot, row, col, scratch)
                             : store_.Block(slot, row, col);
  }

 private:
  const TCoefficientStore& store_;
  const TWipes* wipes_;
};

}  // namespace tarvo
