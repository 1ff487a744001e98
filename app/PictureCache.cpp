#include "PictureCache.h"

#include "UprightPicture.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

void TPictureCache::KeepWiped(std::span<const std::uint8_t> patch, const TTrimRect& patchRect,
                              TOrientation shown) {
  // Full-size pixels along a patch edge inside the picture that may differ from a decode of the
  // whole: the chroma smoothed across it reaches two.
  constexpr std::int32_t kEdge = 4;
  for (std::optional<TPicture>& held : pictures_) {
    if (!held) continue;
    const std::int32_t r = held->Reduction;
    const QSize frame = shown.Transpose ? held->Frame.transposed() : held->Frame;
    const QSize stored = shown.Transpose ? held->Pixels.size().transposed() : held->Pixels.size();
    const auto up = [r](std::int32_t v) { return (v + r - 1) / r; };
    const auto inside = [](std::int32_t edge, std::int32_t end) { return edge > 0 && edge < end; };
    // Rounded as the decoder rounds, and the kept part rounded inwards.
    const TTrimRect at{patchRect.Left / r, patchRect.Top / r, up(patchRect.Right),
                       up(patchRect.Bottom)};
    const TTrimRect kept{
        up(patchRect.Left + (inside(patchRect.Left, frame.width()) ? kEdge : 0)),
        up(patchRect.Top + (inside(patchRect.Top, frame.height()) ? kEdge : 0)),
        inside(patchRect.Right, frame.width()) ? (patchRect.Right - kEdge) / r : at.Right,
        inside(patchRect.Bottom, frame.height()) ? (patchRect.Bottom - kEdge) / r : at.Bottom};
    if (patchRect.Left % r != 0 || patchRect.Top % r != 0 || at.Right > stored.width() ||
        at.Bottom > stored.height() || kept.Left >= kept.Right || kept.Top >= kept.Bottom) {
      held.reset();
      continue;
    }
    TPicture mended;
    try {
      mended = UprightPicture(DecodePicture(patch, r), shown);
    } catch (...) {
      Clear();
      throw;
    }
    const TTrimRect where = shown.Map(at, stored.width(), stored.height());
    const TTrimRect into = shown.Map(kept, stored.width(), stored.height());
    if (mended.Pixels.size() != QSize(where.Right - where.Left, where.Bottom - where.Top) ||
        mended.Pixels.format() != QImage::Format_RGB888 ||
        held->Pixels.format() != QImage::Format_RGB888) {
      held.reset();
      continue;
    }
    const auto rowBytes = static_cast<std::size_t>(into.Right - into.Left) * 3;
    for (std::int32_t y = into.Top; y < into.Bottom; ++y) {
      std::memcpy(
          held->Pixels.scanLine(y) + std::size_t{3} * into.Left,
          mended.Pixels.constScanLine(y - where.Top) + std::size_t{3} * (into.Left - where.Left),
          rowBytes);
    }
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
