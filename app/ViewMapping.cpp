#include "ViewMapping.h"

#include <algorithm>
#include <cstdlib>

namespace tarvo {

TViewRate ViewRateAt(int index) {
  if (index < 0 || index >= static_cast<int>(kViewRates.size())) {
    return kViewRates[kViewRateOneToOne];
  }
  return kViewRates[static_cast<std::size_t>(index)];
}

int FittingRateIndex(std::int32_t width, std::int32_t height, std::int32_t areaWidth,
                     std::int32_t areaHeight) {
  for (int index = static_cast<int>(kViewRates.size()) - 1; index > 0; --index) {
    const TViewRate rate = kViewRates[static_cast<std::size_t>(index)];
    if (ImageToView(width, rate.Num, rate.Den) <= areaWidth &&
        ImageToView(height, rate.Num, rate.Den) <= areaHeight) {
      return index;
    }
  }
  return 0;
}

int ZoomInIndex(int index) {
  const int last = static_cast<int>(kViewRates.size()) - 1;
  return index < last ? index + 1 : index;
}

int ZoomOutIndex(int index) { return index > 0 ? index - 1 : index; }

TScrollSteps VerticalScrollSteps(int visibleHeight) {
  const int page = visibleHeight * 9 / 10;
  return {page, page / 10};
}

int ScrollKeepingMiddle(int oldScroll, int visible, int oldSize, int newSize) {
  const int last = std::max(0, newSize - visible);
  if (oldSize <= 0) return std::clamp(oldScroll, 0, last);
  // The middle of a view shorter than the picture lies on it; a view longer than the picture
  // shows all of it, and the picture's own middle is what stays in place.
  const std::int64_t middle =
      oldSize > visible ? std::int64_t{oldScroll} + visible / 2 : std::int64_t{oldSize} / 2;
  const std::int64_t moved = middle * newSize / oldSize - visible / 2;
  return static_cast<int>(std::clamp<std::int64_t>(moved, 0, last));
}

int AutoScrollStep(int pointer, int visible) {
  constexpr int kSlowest = 8;
  constexpr int kFastest = 64;
  const int outside = pointer < 0 ? pointer : pointer >= visible ? pointer - visible + 1 : 0;
  if (outside == 0) return 0;
  const int speed = std::min(kFastest, kSlowest + std::abs(outside) / 2);
  return outside < 0 ? -speed : speed;
}

int DropDownListWidth(int modeDropDownWidth, int itemCount, int visibleItems, int scrollBarWidth) {
  int width = modeDropDownWidth + 12;
  if (itemCount > visibleItems) {
    width += scrollBarWidth;
  }
  return width;
}

std::int32_t ImageToView(std::int32_t image, std::int32_t num, std::int32_t den) {
  return static_cast<std::int32_t>(std::int64_t{image} * num / den);
}

std::int32_t ViewToImage(std::int32_t view, std::int32_t num, std::int32_t den) {
  return static_cast<std::int32_t>(std::int64_t{view} * den / num);
}

std::int32_t PointerToImage(std::int32_t view, std::int32_t pictureSize, std::int32_t num,
                            std::int32_t den) {
  const std::int32_t viewSize = ImageToView(pictureSize, num, den);
  if (view < viewSize) return ViewToImage(view, num, den);
  return pictureSize + ViewToImage(view - viewSize, num, den);
}

std::int32_t TViewMapping::ToView(std::int32_t image) const {
  return ImageToView(image, num_, den_);
}

std::int32_t TViewMapping::ToImage(std::int32_t view) const {
  return ViewToImage(view, num_, den_);
}

void TViewMapping::SetRateIndex(int index) {
  const TViewRate rate = ViewRateAt(index);
  num_ = rate.Num;
  den_ = rate.Den;
  Recompute();
}

void TViewMapping::SetPicture(std::int32_t width, std::int32_t height, std::int32_t mcuWidth,
                              std::int32_t mcuHeight) {
  pictureWidth_ = width;
  pictureHeight_ = height;
  mcuWidth_ = mcuWidth;
  mcuHeight_ = mcuHeight;
  Recompute();
}

void TViewMapping::Recompute() {
  viewWidth_ = ToView(pictureWidth_);
  viewHeight_ = ToView(pictureHeight_);
  // An MCU is 8, 16 or 32 pixels, a multiple of every denominator: whole view pixels.
  viewMcuWidth_ = ToView(mcuWidth_);
  viewMcuHeight_ = ToView(mcuHeight_);
}

}  // namespace tarvo
