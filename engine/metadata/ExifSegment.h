// The Exif segment follows the cut: it states the cut's pixel size and orientation, and its
// thumbnail is drawn again from the cut, or removed.
#pragma once

#include <cstdint>
#include <vector>

#include "MetadataKind.h"

namespace tarvo {

TMetadataKind ExifKind();

// The whole segment, marker included, that keeps the cut upright when its Exif segments are
// left out and it is to be shown turned; empty otherwise.
std::vector<std::uint8_t> ExifInPlaceOfDropped(const TCutContext& cut);

}  // namespace tarvo
