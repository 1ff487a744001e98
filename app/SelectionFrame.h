// The selection's frame on the paint area: three nested dotted rectangles drawn by inverting
// the pixels under them, so drawing a frame twice leaves the picture as it was.
#pragma once

#include <QRect>
#include <QRegion>

#include "Selection.h"

class QPainter;

namespace tarvo {

// How deep the frame reaches into the selection: one dotted rectangle per pixel.
inline constexpr int kSelectionFrameDepth = 3;

// Inverts the frame's dots inside exposed: every other pixel of the borders of (Left, Top,
// Right, Bottom), (Left + 1, Top + 1, Right - 1, Bottom - 1) and (Left + 2, Top + 2, Right - 2,
// Bottom - 2), Right and Bottom exclusive. Each pixel is inverted at most once per call.
void PaintSelectionFrame(QPainter& painter, const TSelectionRect& rect, const QRect& exposed);

// The pixels PaintSelectionFrame may touch: what to repaint when the frame changes.
QRegion SelectionFrameRegion(const TSelectionRect& rect);

}  // namespace tarvo
