// A picture shown the way its Exif Orientation asks. The selection works on the stored picture,
// transposed where the orientation transposes it, so that the edges a trim snaps are its left
// and top; the screen shows that picture mirrored as the orientation says, and the mirrors are
// undone at the screen's edge: pointer positions, keys, pointer shapes and the frame drawn.
#pragma once

#include <cstdint>

#include "Orientation.h"
#include "PictureDecoder.h"
#include "Selection.h"
#include "TrimRect.h"

namespace tarvo {

// picture's pixels turned upright as orientation says, Frame with them.
TPicture UprightPicture(const TPicture& picture, TOrientation orientation);

// The mirrors between the selection's picture and the screen's, for a picture width x height
// pixels as shown (the same in both), and viewWidth x viewHeight view pixels.
class TUprightMirror {
 public:
  TUprightMirror() = default;
  TUprightMirror(TOrientation orientation, std::int32_t width, std::int32_t height)
      : mirrorX_(orientation.MirrorX),
        mirrorY_(orientation.MirrorY),
        width_(width),
        height_(height) {}

  // A rectangle in image pixels, from either picture to the other.
  TTrimRect Rect(const TTrimRect& rect) const;
  // A pointer position in view pixels on a paint area viewWidth x viewHeight, either way.
  std::int32_t ViewX(std::int32_t x, std::int32_t viewWidth) const {
    return mirrorX_ ? viewWidth - x : x;
  }
  std::int32_t ViewY(std::int32_t y, std::int32_t viewHeight) const {
    return mirrorY_ ? viewHeight - y : y;
  }
  // An arrow key as the selection's picture takes it: a selection moves the way the arrow
  // points on screen, and so does the free edge a resize moves.
  TArrowKey Key(TArrowKey key) const;
  // The pointer shape on screen for the one the selection asks for.
  TPointerShape Shape(TPointerShape shape) const;

 private:
  bool mirrorX_ = false;
  bool mirrorY_ = false;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
};

}  // namespace tarvo
