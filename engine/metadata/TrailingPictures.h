// The pictures a file carries after its main picture that no MPF entry or XMP container item
// accounts for: a JPEG appended after EOI, FotoStation's and other programs' previews (some of
// them addressed from the maker note), a TIFF or a PNG.
#pragma once

#include <cstdint>
#include <span>

#include "CutDrawing.h"

namespace tarvo {

// Redraws every JPEG in trailer in place, so that whatever addresses it or follows it keeps its
// offset; a PNG's bytes, and everything from a TIFF header to the end of trailer, become zero
// bytes, as they cannot be drawn again. Returns how many pictures it found.
int FollowCutInTrailer(std::span<std::uint8_t> trailer, const TDrawCut& draw);

}  // namespace tarvo
