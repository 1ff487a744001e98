// The rectangle a trim keeps.
#pragma once

#include <cstdint>

namespace tarvo {

// Source-image pixels; Right and Bottom exclusive.
struct TTrimRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

}  // namespace tarvo
