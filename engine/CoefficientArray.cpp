#include "CoefficientArray.h"

#include <new>

#include "LargeBuffer.h"

namespace tarvo {

void TCoefficientArray::Resize(std::size_t count) {
  if (count > capacity_) {
    // The old array goes first so that both are never held at once.
    data_.reset();
    capacity_ = 0;
    if (count > SIZE_MAX / (kBlockCoefficients * sizeof(std::int16_t))) throw std::bad_alloc();
    data_.reset(static_cast<std::int16_t*>(
        AllocateLargeBuffer(count * kBlockCoefficients * sizeof(std::int16_t))));
    capacity_ = count;
  }
  count_ = count;
}

}  // namespace tarvo
