// The rectangle a trim keeps, and how a requested one lands on the MCU grid.
#pragma once

#include <cstdint>

namespace tarvo {

// Source-image pixels; Right and Bottom exclusive.
struct TTrimRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;

  friend bool operator==(const TTrimRect&, const TTrimRect&) = default;
};

// Whether rect keeps at least one pixel and lies wholly inside a width x height picture.
inline bool LiesInside(const TTrimRect& rect, std::int32_t width, std::int32_t height) {
  return rect.Left >= 0 && rect.Top >= 0 && rect.Left < rect.Right && rect.Top < rect.Bottom &&
         rect.Right <= width && rect.Bottom <= height;
}

// A trim can only start at an MCU boundary, so Left and Top move down to the grid line at or
// before them; Right and Bottom stay, because the declared size hides the rest of the last MCU
// at either edge. Negative values and empty rectangles pass unchanged for the trim to refuse.
inline TTrimRect SnapToMcuGrid(TTrimRect rect, std::int32_t mcuWidth, std::int32_t mcuHeight) {
  if (rect.Left > 0) rect.Left -= rect.Left % mcuWidth;
  if (rect.Top > 0) rect.Top -= rect.Top % mcuHeight;
  return rect;
}

}  // namespace tarvo
