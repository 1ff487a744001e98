// The Exif segment follows the cut: it states the cut's pixel size and orientation, and its
// thumbnail is drawn again from the cut, or removed.
#pragma once

#include <cstdint>
#include <vector>

#include "MetadataKind.h"

namespace tarvo {

TMetadataKind ExifKind();

// body (an Exif segment's, identifier included) stating a picture of width x height shown as
// orientation; false, and body untouched, when it holds no TIFF structure to state them in.
bool RestateExif(std::vector<std::uint8_t>& body, int width, int height, TOrientation orientation);

// body (an Exif segment's that RestateExif took) without its thumbnail, and IFD1 with it.
void RemoveExifThumbnail(std::vector<std::uint8_t>& body);

// The whole segment, marker included, that keeps the cut upright when its Exif segments are
// left out and it is to be shown turned; empty otherwise.
std::vector<std::uint8_t> ExifInPlaceOfDropped(const TCutContext& cut);

}  // namespace tarvo
