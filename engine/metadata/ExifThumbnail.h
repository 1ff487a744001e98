// The thumbnail an Exif segment carries in IFD1: read, replaced by a new picture or removed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarvo {

// What IFD1 of tiff (an Exif segment's TIFF structure, from its byte order mark) holds.
enum class TExifThumbnailKind { kNone, kJpeg, kStrips };
TExifThumbnailKind ExifThumbnailKind(std::span<const std::uint8_t> tiff);
// The JPEG thumbnail's bytes, empty without one.
std::span<const std::uint8_t> ExifJpegThumbnail(std::span<const std::uint8_t> tiff);

// Puts picture (a JPEG) in place of IFD1's thumbnail, or removes the thumbnail when picture is
// empty, IFD1 held strips, or the structure would grow past maxSize. The old thumbnail's bytes
// are zeroed where they cannot be cut off the end, so the file no longer holds the old picture.
void ReplaceExifThumbnail(std::vector<std::uint8_t>& tiff, std::span<const std::uint8_t> picture,
                          std::size_t maxSize);

}  // namespace tarvo
