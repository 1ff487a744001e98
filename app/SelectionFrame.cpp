#include "SelectionFrame.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>

namespace tarvo {

namespace {

// Adds the dots of row y (or column x, when vertical) between from and to, both inclusive,
// that lie inside exposed. A dot is a pixel whose coordinates add up to an even number, so
// the three nested rectangles interleave into a checkered band.
void AddDots(QPolygon& dots, bool vertical, int at, int from, int to, const QRect& exposed) {
  const int low = std::max(from, vertical ? exposed.top() : exposed.left());
  const int high = std::min(to, vertical ? exposed.bottom() : exposed.right());
  if (at < (vertical ? exposed.left() : exposed.top()) ||
      at > (vertical ? exposed.right() : exposed.bottom())) {
    return;
  }
  for (int v = low + ((low + at) & 1); v <= high; v += 2) {
    dots << (vertical ? QPoint(at, v) : QPoint(v, at));
  }
}

// The dots of one rectangle's border; a row or column shared by two sides is taken once.
void AddRectangleDots(QPolygon& dots, int left, int top, int right, int bottom,
                      const QRect& exposed) {
  if (right <= left || bottom <= top) return;
  const int lastX = right - 1;
  const int lastY = bottom - 1;
  AddDots(dots, false, top, left, lastX, exposed);
  if (lastY > top) AddDots(dots, false, lastY, left, lastX, exposed);
  AddDots(dots, true, left, top + 1, lastY - 1, exposed);
  if (lastX > left) AddDots(dots, true, lastX, top + 1, lastY - 1, exposed);
}

}  // namespace

void PaintSelectionFrame(QPainter& painter, const TSelectionRect& rect, const QRect& exposed) {
  QPolygon dots;
  for (int k = 0; k < kSelectionFrameDepth; ++k) {
    AddRectangleDots(dots, rect.Left + k, rect.Top + k, rect.Right - k, rect.Bottom - k, exposed);
  }
  if (dots.isEmpty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setCompositionMode(QPainter::RasterOp_NotDestination);
  painter.setPen(QPen(Qt::white, 0));
  painter.drawPoints(dots);
  painter.restore();
}

QRegion SelectionFrameRegion(const TSelectionRect& rect) {
  const QRect outer(QPoint(rect.Left, rect.Top), QPoint(rect.Right - 1, rect.Bottom - 1));
  if (outer.isEmpty()) return {};
  const QRect inner = outer.adjusted(kSelectionFrameDepth, kSelectionFrameDepth,
                                     -kSelectionFrameDepth, -kSelectionFrameDepth);
  return inner.isEmpty() ? QRegion(outer) : QRegion(outer).subtracted(inner);
}

}  // namespace tarvo
