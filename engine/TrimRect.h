// The rectangle a trim keeps, and how a requested one lands on the MCU grid.
#pragma once

#include <cstdint>

namespace tarvo {

// Pixels, Right and Bottom exclusive: a trim's rectangle in the source's pixels, a selection in
// those of the picture shown. Signed, because a gesture may reach left of or above the picture.
struct TTrimRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;

  // The same rectangle dx pixels further right and dy further down: from the pixels of one
  // picture to those of the picture it was cut from, or back with the opposite signs.
  TTrimRect Shifted(std::int32_t dx, std::int32_t dy) const {
    return {Left + dx, Top + dy, Right + dx, Bottom + dy};
  }

  friend bool operator==(const TTrimRect&, const TTrimRect&) = default;
};

// The MCU grid line at or before v (v >= 0): where a trim, or a selection, asked to start at v
// starts. A position left of or above the picture is the caller's to clamp first.
constexpr std::int32_t McuGridLine(std::int32_t v, std::int32_t mcuSize) { return v - v % mcuSize; }

// Whether rect keeps at least one pixel and lies wholly inside a width x height picture.
inline bool LiesInside(const TTrimRect& rect, std::int32_t width, std::int32_t height) {
  return rect.Left >= 0 && rect.Top >= 0 && rect.Left < rect.Right && rect.Top < rect.Bottom &&
         rect.Right <= width && rect.Bottom <= height;
}

}  // namespace tarvo
