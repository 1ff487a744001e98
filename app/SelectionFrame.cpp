#include "SelectionFrame.h"

#include <QPainter>
#include <algorithm>

namespace tarvo {

namespace {

// Dashes this many pixels long, dark and light in turn, counted from the paint area's origin
// along a row (horizontal sides) or a column (vertical sides).
constexpr int kDashLength = 4;
const QColor kDark(0, 0, 0);
const QColor kLight(255, 255, 255);

// Fills the dashes of row y (or column x, when vertical) between from and to, both inclusive,
// that lie inside exposed. Whole logical pixels, so a 2x device pixel ratio fills 2 x 2 device
// pixels each and the frame stays solid.
void FillDashes(QPainter& painter, bool vertical, int at, int from, int to, const QRect& exposed) {
  if (at < (vertical ? exposed.left() : exposed.top()) ||
      at > (vertical ? exposed.right() : exposed.bottom())) {
    return;
  }
  const int low = std::max(from, vertical ? exposed.top() : exposed.left());
  const int high = std::min(to, vertical ? exposed.bottom() : exposed.right());
  for (int start = low; start <= high;) {
    // The dash holding start ends before the next multiple of the dash length; view pixels are
    // never negative.
    const int dash = start / kDashLength;
    const int end = std::min(high, (dash + 1) * kDashLength - 1);
    const QColor& colour = dash % 2 == 0 ? kDark : kLight;
    const int length = end - start + 1;
    painter.fillRect(vertical ? QRect(at, start, 1, length) : QRect(start, at, length, 1), colour);
    start = end + 1;
  }
}

// One ring; a row or column shared by two sides is filled once.
void FillRing(QPainter& painter, int left, int top, int right, int bottom, const QRect& exposed) {
  if (right <= left || bottom <= top) return;
  const int lastX = right - 1;
  const int lastY = bottom - 1;
  FillDashes(painter, false, top, left, lastX, exposed);
  if (lastY > top) FillDashes(painter, false, lastY, left, lastX, exposed);
  FillDashes(painter, true, left, top + 1, lastY - 1, exposed);
  if (lastX > left) FillDashes(painter, true, lastX, top + 1, lastY - 1, exposed);
}

}  // namespace

void PaintSelectionFrame(QPainter& painter, const TTrimRect& rect, const QRect& exposed) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (int k = 0; k < kSelectionFrameDepth; ++k) {
    FillRing(painter, rect.Left + k, rect.Top + k, rect.Right - k, rect.Bottom - k, exposed);
  }
  painter.restore();
}

QRegion SelectionFrameRegion(const TTrimRect& rect) {
  const QRect outer(QPoint(rect.Left, rect.Top), QPoint(rect.Right - 1, rect.Bottom - 1));
  if (outer.isEmpty()) return {};
  const QRect inner = outer.adjusted(kSelectionFrameDepth, kSelectionFrameDepth,
                                     -kSelectionFrameDepth, -kSelectionFrameDepth);
  return inner.isEmpty() ? QRegion(outer) : QRegion(outer).subtracted(inner);
}

}  // namespace tarvo
