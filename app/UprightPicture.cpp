#include "UprightPicture.h"

#include <QTransform>

namespace tarvo {

TPicture UprightPicture(const TPicture& picture, TOrientation orientation) {
  if (orientation.IsIdentity()) return picture;
  QImage pixels = picture.Pixels;
  QSize frame = picture.Frame;
  if (orientation.Transpose) {
    // A quarter turn clockwise and a mirror of the columns: (x, y) -> (y, x).
    pixels = pixels.transformed(QTransform().rotate(90)).mirrored(true, false);
    frame.transpose();
  }
  if (orientation.MirrorX || orientation.MirrorY) {
    pixels = pixels.mirrored(orientation.MirrorX, orientation.MirrorY);
  }
  return {pixels, frame, picture.Reduction};
}

TTrimRect TUprightMirror::Rect(const TTrimRect& rect) const {
  TTrimRect out = rect;
  if (mirrorX_) out = {width_ - rect.Right, out.Top, width_ - rect.Left, out.Bottom};
  if (mirrorY_) out = {out.Left, height_ - rect.Bottom, out.Right, height_ - rect.Top};
  return out;
}

TArrowKey TUprightMirror::Key(TArrowKey key) const {
  switch (key) {
    case TArrowKey::Left:
      return mirrorX_ ? TArrowKey::Right : key;
    case TArrowKey::Right:
      return mirrorX_ ? TArrowKey::Left : key;
    case TArrowKey::Up:
      return mirrorY_ ? TArrowKey::Down : key;
    case TArrowKey::Down:
      return mirrorY_ ? TArrowKey::Up : key;
  }
  return key;
}

TPointerShape TUprightMirror::Shape(TPointerShape shape) const {
  if (mirrorX_ == mirrorY_) return shape;
  if (shape == TPointerShape::SizeDiagonalNwSe) return TPointerShape::SizeDiagonalNeSw;
  if (shape == TPointerShape::SizeDiagonalNeSw) return TPointerShape::SizeDiagonalNwSe;
  return shape;
}

}  // namespace tarvo
