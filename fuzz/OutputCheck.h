// Checks a trimmed file with libjpeg-turbo: it must decode, with the declared trim size.
#pragma once

#include <cstdint>
#include <span>

#include "TrimRect.h"

namespace tarvo::fuzzing {

bool OutputDecodes(std::span<const std::uint8_t> jpeg, const TTrimRect& rect);

}  // namespace tarvo::fuzzing
