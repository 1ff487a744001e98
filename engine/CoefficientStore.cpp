#include "CoefficientStore.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <vector>

namespace tarvo {

void TCoefficientStore::Allocate(const TJpegModel& model, bool zeroed, int rowsInOrder) {
  const auto rows = static_cast<std::size_t>(model.McuRows);
  std::array<std::size_t, kMaxComponents> blocks{};
  bool fits = true;
  for (std::size_t s = 0; s < model.Components.size(); ++s) {
    const TFrameComponent& component = model.Components[s];
    rowBlocks_[s] = static_cast<std::size_t>(model.McuCols) * component.HSampling;
    blocks[s] = rowBlocks_[s] * rows * component.VSampling;
    fits = fits && blocks[s] <= arrays_[s].Capacity();
  }
  std::uint64_t bytes = 0;
  for (std::size_t s = 0; s < model.Components.size(); ++s) {
    bytes += blocks[s] * TCoefficientArray::kBlockCoefficients * sizeof(std::int16_t);
  }
  if (bytes > MemoryLimit) throw std::bad_alloc();
  // Before memory is given back, a populating thread from earlier must be done with it.
  populator_.Finish();
  const std::size_t inOrder = std::min(rows, static_cast<std::size_t>(std::max(rowsInOrder, 0)));
  std::vector<std::span<std::byte>> regions;
  for (std::size_t s = 0; s < model.Components.size(); ++s) {
    arrays_[s].Resize(blocks[s]);
    const std::span<std::byte> region = std::as_writable_bytes(
        std::span(arrays_[s].Block(0), blocks[s] * TCoefficientArray::kBlockCoefficients));
    // Clearing touches every page at once, so there is nothing left to fault in ahead.
    if (zeroed) std::memset(region.data(), 0, region.size());
    regions.push_back(region.first(rows == 0 ? 0 : region.size() / rows * inOrder));
  }
  if (!fits && !zeroed) populator_.Start(std::move(regions), inOrder);
}

}  // namespace tarvo
