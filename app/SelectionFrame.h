// The selection's frame on the paint area: a band three pixels deep of alternating dark and light
// dashes, which shows on any picture, mid-grey included, and stays solid at any device pixel
// ratio. It is painted over the picture; erasing it is painting the picture again.
#pragma once

#include <QRect>
#include <QRegion>

#include "Selection.h"

class QPainter;

namespace tarvo {

// How deep the frame reaches into the selection: one ring per pixel.
inline constexpr int kSelectionFrameDepth = 3;

// Paints the frame's rings inside exposed: the borders of (Left, Top, Right, Bottom),
// (Left + 1, Top + 1, Right - 1, Bottom - 1) and (Left + 2, Top + 2, Right - 2, Bottom - 2),
// Right and Bottom exclusive, in view pixels. A pixel's colour depends on its position alone,
// so parts painted separately join without seams.
void PaintSelectionFrame(QPainter& painter, const TTrimRect& rect, const QRect& exposed);

// The pixels PaintSelectionFrame may touch: what to repaint when the frame changes.
QRegion SelectionFrameRegion(const TTrimRect& rect);

}  // namespace tarvo
