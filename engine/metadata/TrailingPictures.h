// The pictures a file carries after its main picture that no MPF entry or XMP container item
// accounts for: a JPEG appended after EOI, FotoStation's and other programs' previews (some of
// them addressed from the maker note), a TIFF or a PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "CutDrawing.h"
#include "MetadataKind.h"

namespace tarvo {

// Redraws every JPEG in trailer in place, so that whatever addresses it or follows it keeps its
// offset; a PNG's bytes, and everything from a TIFF header to the end of trailer, become zero
// bytes, as they cannot be drawn again. Returns how many pictures it found.
int FollowCutInTrailer(std::span<std::uint8_t> trailer, const TDrawCut& draw);

// What the output holds in place of the source's bytes from restStart on (after the images its
// MPF entries or XMP container name): the same with each picture that nothing names drawn again
// or zeroed as above. Empty where nothing changes: no such picture, KeepThumbnails, or a picture
// stored in the file being cut, whose bytes after it are not its own.
std::optional<std::vector<std::uint8_t>> FollowTrailer(const TCutContext& cut,
                                                       std::size_t restStart);

}  // namespace tarvo
