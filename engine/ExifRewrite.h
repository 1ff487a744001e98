// Sets the pixel dimensions that an Exif segment states to the size of a trim.
#pragma once

#include <cstdint>
#include <span>

namespace tarvo {

// block holds an Exif segment's TIFF structure from its byte 8 on (just after the TIFF
// header), so a TIFF offset o is found at o - 8. Follows IFD0 to the Exif IFD (the last 0x8769
// entry counts) and writes width and height into its PixelXDimension (0xA002) and
// PixelYDimension (0xA003) entries of type SHORT or LONG (or SSHORT or SLONG, keeping the type).
// Returns false and leaves block
// untouched when there is no Exif IFD pointer or an offset or count points outside the block.
bool RewriteExifPixelSize(std::span<std::uint8_t> block, bool littleEndian,
                          std::uint32_t ifd0Offset, std::uint32_t width, std::uint32_t height);

}  // namespace tarvo
