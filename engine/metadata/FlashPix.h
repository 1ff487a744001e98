// FlashPix segments (APP2 "FPXR"), in which Kodak and Fujifilm cameras store a screen-nail of the
// whole picture as a stream spread over several segments.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "JpegMarkers.h"

namespace tarvo {

inline constexpr std::string_view kFlashPixIdentifier{"FPXR\0", 5};

// True for a FlashPix segment. A cut leaves them all out: their contents lists and stream parts
// only describe the whole picture, and no reader needs them to show the file.
inline bool IsFlashPixSegment(std::uint16_t marker, std::span<const std::uint8_t> body) {
  return marker == markers::kApp2 && body.size() >= kFlashPixIdentifier.size() &&
         std::equal(kFlashPixIdentifier.begin(), kFlashPixIdentifier.end(), body.begin());
}

}  // namespace tarvo
