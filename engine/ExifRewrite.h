// Sets the pixel dimensions that an Exif segment states to the size of a trim.
#pragma once

#include <cstdint>

#include "TiffView.h"

namespace tarvo {

// Follows IFD0 of the Exif segment's TIFF structure to the Exif IFD (the last 0x8769 entry
// counts) and writes width and height into its PixelXDimension (0xA002) and PixelYDimension
// (0xA003) entries of type SHORT or LONG (or SSHORT or SLONG, keeping the type). Returns false
// and leaves tiff untouched when there is no Exif IFD or an offset or count points outside it.
bool RewriteExifPixelSize(TTiffView& tiff, std::uint32_t width, std::uint32_t height);

}  // namespace tarvo
