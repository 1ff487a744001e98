// The Orientation tag of a file's Exif data: read, rewritten after a turn, or written alone.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "JpegModel.h"
#include "Orientation.h"
#include "TiffView.h"

namespace tarvo {

// What IFD0's Orientation entry (0x0112, one SHORT) of the header's first Exif segment says, as
// viewers read it; as stored without one or for a value outside 1-8. bytes is the file model was
// read from.
TOrientation ReadExifOrientation(const TJpegModel& model, std::span<const std::uint8_t> bytes);

// Sets IFD0's Orientation entry, where it has one of one SHORT, to value.
void RewriteExifOrientation(TTiffView& tiff, TOrientation value);

// A whole APP1 segment, marker included, of Exif data holding nothing but the orientation: what
// keeps a picture upright when the rest of its metadata is left out.
std::vector<std::uint8_t> OrientationOnlyExif(TOrientation value);

}  // namespace tarvo
