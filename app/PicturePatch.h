// A part of a picture as shown, decoded on its own: a wipe's region, shown and mended into the
// pictures held instead of the whole picture decoded again.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include <QImage>
#include <QPoint>

#include "Orientation.h"
#include "PictureDecoder.h"
#include "TrimRect.h"

namespace tarvo {

// Pixels that replace those of a picture at Reduction (see TPicture), held turned as it is shown,
// from At on. Without pixels it replaces nothing.
struct TPicturePatch {
  QImage Pixels;
  QPoint At;
  int Reduction = 1;
};

// The patch that brings held, a picture shown as `shown`, up to bytes changed only inside
// patchRect, a rectangle of their stored picture whose pixels jpeg holds as a JPEG of their own.
// The JPEG's pixels along its edges that lie inside the picture lack the neighbours the decoder
// smooths chroma with, so a strip of edge pixels is left out; the change must reach no pixel
// there. Nothing when the patch does not fall on held's pixels; raises EPictureError when jpeg
// does not decode.
std::optional<TPicturePatch> PatchOf(std::span<const std::uint8_t> jpeg, const TTrimRect& patchRect,
                                     const TPicture& held, TOrientation shown);

// Writes patch into picture, a picture of the patch's reduction; false, leaving it as it was,
// when the patch does not fit it. Pixels shared with other pictures are copied first.
bool Mend(TPicture& picture, const TPicturePatch& patch);

}  // namespace tarvo
