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
  bool cleared = false;
  for (std::size_t s = 0; s < model.Components.size(); ++s) {
    const bool fresh = arrays_[s].Resize(blocks[s]);
    const std::span<std::byte> region = std::as_writable_bytes(
        std::span(arrays_[s].Block(0), blocks[s] * TCoefficientArray::kBlockCoefficients));
    // Memory given afresh reads as zeros already and is held only as it is written, so that a
    // tiny file declaring a huge picture takes no more than the rows its data reach. Clearing
    // touches every page at once, so there is nothing left to fault in ahead.
    if (zeroed && !fresh) {
      std::memset(region.data(), 0, region.size());
      cleared = true;
    }
    regions.push_back(region.first(rows == 0 ? 0 : region.size() / rows * inOrder));
  }
  if (!fits && !cleared) populator_.Start(std::move(regions), inOrder);
}

}  // namespace tarvo
