#include "WindowPlacement.h"

#include <algorithm>

namespace tarvo {
namespace {

bool TitleBarReachable(const QRect& placement, const QRect& screen) {
  const QRect titleBar(placement.left(), placement.top(), placement.width(), kTitleBarHeight);
  const QRect shown = titleBar & screen;
  return shown.height() == kTitleBarHeight && shown.width() >= kTitleBarGrip;
}

}  // namespace

QRect FittedPlacement(const QRect& placement, const QList<QRect>& screens, const QRect& primary) {
  if (primary.isEmpty()) return placement;
  for (const QRect& screen : screens) {
    if (TitleBarReachable(placement, screen)) return placement;
  }
  const int width = std::min(placement.width(), primary.width());
  const int height = std::min(placement.height(), primary.height() - kTitleBarHeight);
  return {primary.left() + (primary.width() - width) / 2,
          primary.top() + (primary.height() - kTitleBarHeight - height) / 2, width, height};
}

}  // namespace tarvo
