#include "WindowPlacement.h"

#include <algorithm>

namespace tarvo {
namespace {

QRect Frame(const QRect& placement) { return placement.adjusted(0, 0, 0, kTitleBarHeight); }

std::int64_t OverlapArea(const QRect& a, const QRect& b) {
  const QRect shared = a & b;
  return shared.isEmpty() ? 0 : std::int64_t{shared.width()} * shared.height();
}

}  // namespace

QRect FittedPlacement(const QRect& placement, const QList<QRect>& screens, const QRect& primary) {
  if (primary.isEmpty()) return placement;
  const QRect frame = Frame(placement);
  const QRect* target = nullptr;
  std::int64_t targetOverlap = 0;
  for (const QRect& screen : screens) {
    if (screen.contains(frame)) return placement;
    const std::int64_t overlap = OverlapArea(frame, screen);
    if (overlap > targetOverlap) {
      target = &screen;
      targetOverlap = overlap;
    }
  }
  const QRect area = target != nullptr ? *target : primary;
  const int width = std::min(placement.width(), area.width());
  const int height = std::min(placement.height(), area.height() - kTitleBarHeight);
  if (target == nullptr) {
    return {area.left() + (area.width() - width) / 2,
            area.top() + (area.height() - kTitleBarHeight - height) / 2, width, height};
  }
  const int left = std::clamp(placement.left(), area.left(), area.right() + 1 - width);
  const int top =
      std::clamp(placement.top(), area.top(), area.bottom() + 1 - kTitleBarHeight - height);
  return {left, top, width, height};
}

}  // namespace tarvo
