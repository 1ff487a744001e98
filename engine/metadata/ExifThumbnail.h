// The thumbnail an Exif segment carries in IFD1: read, replaced by a new picture or removed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "Orientation.h"

namespace tarvo {

// What IFD1 of tiff (an Exif segment's TIFF structure, from its byte order mark) holds.
enum class TExifThumbnailKind { kNone, kJpeg, kStrips };
TExifThumbnailKind ExifThumbnailKind(std::span<const std::uint8_t> tiff);
// The JPEG thumbnail's bytes, empty without one.
std::span<const std::uint8_t> ExifJpegThumbnail(std::span<const std::uint8_t> tiff);

// The longest JPEG thumbnail that could replace IFD1's in tiff without the structure passing
// maxSize bytes: at its end, in the old thumbnail's place, or in the zero bytes that pad its end
// beyond everything its IFDs point at. 0 without a JPEG thumbnail.
std::size_t ExifThumbnailRoom(std::span<const std::uint8_t> tiff, std::size_t maxSize);

// Puts picture (a JPEG) in place of IFD1's thumbnail where ExifThumbnailRoom finds room, or
// removes the thumbnail, and IFD1 with it, when picture is empty, does not fit, or IFD1 held
// strips. The old thumbnail's bytes are zeroed where they cannot be cut off the end, so the file
// no longer holds the old picture.
void ReplaceExifThumbnail(std::vector<std::uint8_t>& tiff, std::span<const std::uint8_t> picture,
                          std::size_t maxSize);

// Sets IFD1's own ImageWidth, ImageLength and Orientation, where it has them, to a new
// thumbnail's.
void RestateExifThumbnail(std::vector<std::uint8_t>& tiff, int width, int height,
                          TOrientation orientation);

}  // namespace tarvo
