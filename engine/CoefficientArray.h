// Memory for one component's quantised coefficients: 64 x 16 bits per block, in one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "LargeBuffer.h"

namespace tarvo {

class TCoefficientArray {
 public:
  static constexpr std::size_t kBlockCoefficients = 64;

  // Makes room for count blocks. The memory is kept when it is large enough and is not
  // cleared: the decoder writes every block. True when the blocks were given afresh and read
  // as zeros. Throws std::bad_alloc.
  bool Resize(std::size_t count);
  std::size_t Count() const { return count_; }
  std::size_t Capacity() const { return capacity_; }
  std::int16_t* Block(std::size_t index) { return data_.get() + index * kBlockCoefficients; }
  const std::int16_t* Block(std::size_t index) const {
    return data_.get() + index * kBlockCoefficients;
  }

 private:
  struct TFree {
    std::size_t Bytes;
    void operator()(std::int16_t* memory) const { FreeLargeBuffer(memory, Bytes); }
  };

  std::unique_ptr<std::int16_t, TFree> data_{nullptr, TFree{}};
  std::size_t capacity_ = 0;  // in blocks
  std::size_t count_ = 0;
};

}  // namespace tarvo
