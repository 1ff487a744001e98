// Sets the pixel dimensions that an Exif segment states to the size of a trim.
#pragma once

#include <cstdint>

#include "TiffView.h"

namespace tarvo {

// Writes width and height into IFD0's ImageWidth (0x0100) and ImageLength (0x0101), and into
// PixelXDimension (0xA002) and PixelYDimension (0xA003) of the Exif IFD that IFD0 points at (the
// last 0x8769 entry counts) and of any other Exif IFD a later IFD points at, as some cameras link
// one from IFD1: entries of type SHORT or LONG (or SSHORT or SLONG, keeping the type). IFD1's own
// size tags describe the thumbnail and stay. Returns false and leaves tiff untouched when IFD0
// does not fit in it; IFDs that do not fit are skipped.
bool RewriteExifPixelSize(TTiffView& tiff, std::uint32_t width, std::uint32_t height);

}  // namespace tarvo
