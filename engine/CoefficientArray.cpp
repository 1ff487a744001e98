#include "CoefficientArray.h"

#include <new>

#include "LargeBuffer.h"

namespace tarvo {

bool TCoefficientArray::Resize(std::size_t count) {
  count_ = count;
  if (count <= capacity_) return false;
  // The old array goes first so that both are never held at once.
  data_.reset();
  capacity_ = 0;
  count_ = 0;
  if (count > SIZE_MAX / (kBlockCoefficients * sizeof(std::int16_t))) throw std::bad_alloc();
  const std::size_t bytes = count * kBlockCoefficients * sizeof(std::int16_t);
  data_.get_deleter().Bytes = bytes;
  data_.reset(static_cast<std::int16_t*>(AllocateLargeBuffer(bytes)));
  capacity_ = count;
  count_ = count;
  return LargeBufferStartsZeroed(bytes);
}

}  // namespace tarvo
