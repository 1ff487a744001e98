#include "PictureCache.h"

#include <algorithm>
#include <bit>
#include <future>

#include <QRect>

namespace tarvo {

int TPictureCache::ReductionFor(std::int32_t viewNum, std::int32_t viewDen) {
  return viewNum == 1 ? viewDen : 1;
}

// Reductions are the powers of two 1 to 8: slots 0 to 3.
std::size_t TPictureCache::Slot(int reduction) {
  return std::min<std::size_t>(std::countr_zero(static_cast<unsigned>(reduction)),
                               std::size(kPictureReductions) - 1);
}

TPicture TPictureCache::Decode(std::span<const std::uint8_t> jpeg, int reduction) {
  ++decodeCount_;
  // The decode runs on a worker so this thread can tell the user about a slow one while the
  // window waits; the window's commands still run one at a time, as without it.
  std::future<TPicture> decoded =
      std::async(std::launch::async, [jpeg, reduction] { return DecodePicture(jpeg, reduction); });
  if (decoded.wait_for(kSlowDecode) == std::future_status::ready || !slowDecode_) {
    return decoded.get();
  }
  slowDecode_(true);
  decoded.wait();
  slowDecode_(false);
  return decoded.get();
}

const TPicture& TPictureCache::Hold(std::span<const std::uint8_t> jpeg, TPicture picture) {
  Clear();
  jpeg_.assign(jpeg.begin(), jpeg.end());
  const std::size_t slot = Slot(picture.Reduction);
  return pictures_[slot].emplace(std::move(picture));
}

const TPicture& TPictureCache::At(int reduction) {
  std::optional<TPicture>& slot = pictures_[Slot(reduction)];
  if (!slot) slot = Decode(jpeg_, reduction);
  return *slot;
}

std::optional<TPicture> TPictureCache::CutTrim(std::span<const std::uint8_t> jpeg, QPoint at,
                                               int reduction) const {
  const std::optional<TPicture>& held = pictures_[Slot(reduction)];
  if (reduction == 1 || !held || at.x() % reduction != 0 || at.y() % reduction != 0) {
    return std::nullopt;
  }
  const QSize frame = ReadPictureFrame(jpeg);
  // Rounded up as the decoder rounds: the trim's last partial block holds the same pixels.
  const QRect cut(at / reduction, QSize((frame.width() + reduction - 1) / reduction,
                                        (frame.height() + reduction - 1) / reduction));
  if (!held->Pixels.rect().contains(cut)) return std::nullopt;
  return TPicture{held->Pixels.copy(cut), frame, reduction};
}

void TPictureCache::Clear() {
  for (std::optional<TPicture>& picture : pictures_) picture.reset();
  jpeg_.clear();
  jpeg_.shrink_to_fit();
}

bool TPictureCache::Holds(int reduction) const { return pictures_[Slot(reduction)].has_value(); }

}  // namespace tarvo
