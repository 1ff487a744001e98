// The previews cameras keep inside their Exif segment besides IFD1's thumbnail, most of them in
// the maker note (Nikon's PreviewIFD, Casio, Minolta, Pentax, Olympus, Sony, Samsung, Sigma),
// addressed by offsets that moving a byte would break.
#pragma once

#include <cstdint>
#include <span>

#include "CutDrawing.h"

namespace tarvo {

// Redraws in place every JPEG that tiff (an Exif segment's TIFF structure) holds outside IFD1's
// thumbnail. They are found by their own structure rather than by each maker's tags, which
// differ from maker to maker and model to model; since each new picture takes the old one's
// bytes and no more, every tag, offset and length reads as before. Returns how many it found.
int FollowCutInMakerNotes(std::span<std::uint8_t> tiff, const TDrawCut& draw);

}  // namespace tarvo
