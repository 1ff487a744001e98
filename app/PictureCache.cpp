#include "PictureCache.h"

#include "UprightPicture.h"

#include <algorithm>
#include <bit>

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

const TPicture& TPictureCache::Hold(TPicture picture) {
  Clear();
  ++decodeCount_;
  const std::size_t slot = Slot(picture.Reduction);
  return pictures_[slot].emplace(std::move(picture));
}

void TPictureCache::Keep(TPicture picture) {
  ++decodeCount_;
  const std::size_t slot = Slot(picture.Reduction);
  pictures_[slot].emplace(std::move(picture));
}

const TPicture& TPictureCache::At(std::span<const std::uint8_t> jpeg, int reduction,
                                  TOrientation shown) {
  std::optional<TPicture>& slot = pictures_[Slot(reduction)];
  if (!slot) {
    slot = UprightPicture(DecodePicture(jpeg, reduction), shown);
    ++decodeCount_;
  }
  return *slot;
}

void TPictureCache::KeepTrimmed(std::span<const std::uint8_t> trimmed, QPoint at,
                                TOrientation shown) {
  // The full-size picture goes first: it is never cut, and the frame is read only when a reduced
  // picture may be.
  pictures_[Slot(1)].reset();
  if (std::none_of(pictures_.begin(), pictures_.end(), [](const auto& held) { return held; })) {
    return;
  }
  QSize frame;
  try {
    frame = ReadPictureFrame(trimmed);
  } catch (...) {
    Clear();
    throw;
  }
  for (std::optional<TPicture>& held : pictures_) {
    if (!held) continue;
    const int reduction = held->Reduction;
    // Rounded up as the decoder rounds: the trim's last partial block holds the same pixels.
    const QRect cut(at / reduction, QSize((frame.width() + reduction - 1) / reduction,
                                          (frame.height() + reduction - 1) / reduction));
    // The pixels held are the stored ones turned: the cut is found where the turn took it.
    QSize stored = held->Pixels.size();
    if (shown.Transpose) stored.transpose();
    if (at.x() % reduction == 0 && at.y() % reduction == 0 && QRect({}, stored).contains(cut)) {
      const TTrimRect where = shown.Map({cut.left(), cut.top(), cut.right() + 1, cut.bottom() + 1},
                                        stored.width(), stored.height());
      held = TPicture{held->Pixels.copy(where.Left, where.Top, where.Right - where.Left,
                                        where.Bottom - where.Top),
                      shown.Transpose ? frame.transposed() : frame, reduction};
    } else {
      held.reset();
    }
  }
}

void TPictureCache::KeepPatched(const TPicturePatch& patch) {
  for (std::optional<TPicture>& held : pictures_) {
    if (held && !(held->Reduction == patch.Reduction && Mend(*held, patch))) held.reset();
  }
}

void TPictureCache::KeepOnly(int reduction) {
  for (std::size_t slot = 0; slot < pictures_.size(); ++slot) {
    if (slot != Slot(reduction)) pictures_[slot].reset();
  }
}

void TPictureCache::Clear() {
  for (std::optional<TPicture>& picture : pictures_) picture.reset();
}

bool TPictureCache::Holds(int reduction) const { return pictures_[Slot(reduction)].has_value(); }

const TPicture* TPictureCache::Nearest(int reduction) const {
  const int wanted = static_cast<int>(Slot(reduction));
  const int count = static_cast<int>(pictures_.size());
  for (int distance = 0; distance < count; ++distance) {
    for (const int slot : {wanted - distance, wanted + distance}) {
      if (slot >= 0 && slot < count && pictures_[static_cast<std::size_t>(slot)]) {
        return &*pictures_[static_cast<std::size_t>(slot)];
      }
    }
  }
  return nullptr;
}

}  // namespace tarvo
