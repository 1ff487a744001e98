// The eight ways a picture can lie: turns by quarter circles and mirror images, as Exif's
// Orientation tag names them and as a lossless turn moves blocks.
#pragma once

#include <cstdint>

#include "TrimRect.h"

namespace tarvo {

// A picture's orientation as a map from stored pixels to shown ones: first an optional
// transposition (x, y) -> (y, x), then optional mirrors of the result's columns and rows. Every
// one of the eight has exactly one such form, which keeps composing and inverting to a few
// flag operations.
struct TOrientation {
  bool Transpose = false;
  bool MirrorX = false;  // columns run right to left
  bool MirrorY = false;  // rows run bottom to top

  friend constexpr bool operator==(const TOrientation&, const TOrientation&) = default;

  constexpr bool IsIdentity() const { return !Transpose && !MirrorX && !MirrorY; }

  // This orientation followed by next. A transposition that comes second exchanges the roles of
  // the mirrors that came before it.
  constexpr TOrientation Then(const TOrientation& next) const {
    return {Transpose != next.Transpose, (next.Transpose ? MirrorY : MirrorX) != next.MirrorX,
            (next.Transpose ? MirrorX : MirrorY) != next.MirrorY};
  }
  constexpr TOrientation Inverse() const {
    return {Transpose, Transpose ? MirrorY : MirrorX, Transpose ? MirrorX : MirrorY};
  }

  // The Exif Orientation value (1-8) that asks a viewer to show stored pixels this way
  // (Exif 2.3 4.6.4 A, tag 0x0112), and back; anything outside 1-8 means as stored.
  int ExifValue() const;
  static TOrientation FromExif(int value);

  // Where rect of a width x height picture lands when the picture is shown this way.
  TTrimRect Map(const TTrimRect& rect, std::int32_t width, std::int32_t height) const {
    TTrimRect out = Transpose ? TTrimRect{rect.Top, rect.Left, rect.Bottom, rect.Right} : rect;
    const std::int32_t shownWidth = Transpose ? height : width;
    const std::int32_t shownHeight = Transpose ? width : height;
    if (MirrorX) out = {shownWidth - out.Right, out.Top, shownWidth - out.Left, out.Bottom};
    if (MirrorY) out = {out.Left, shownHeight - out.Bottom, out.Right, shownHeight - out.Top};
    return out;
  }
};

inline constexpr TOrientation kAsStored{};
inline constexpr TOrientation kMirrorHorizontal{false, true, false};
inline constexpr TOrientation kMirrorVertical{false, false, true};
inline constexpr TOrientation kRotate180{false, true, true};
inline constexpr TOrientation kTransposed{true, false, false};
// Clockwise: the stored top row becomes the shown right column.
inline constexpr TOrientation kRotate90{true, true, false};
inline constexpr TOrientation kRotate270{true, false, true};
// Transposition about the other diagonal: top left and bottom right change places.
inline constexpr TOrientation kTransverse{true, true, true};

}  // namespace tarvo
