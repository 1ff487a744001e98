// Pictures of a cut drawn for the copies of the picture a file embeds (thumbnails, previews), and
// the JPEG structure those copies are found by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "MetadataKind.h"

namespace tarvo {

// Draws the cut to fit maxWidth x maxHeight keeping its aspect, as a baseline JPEG without
// metadata at about like's quality, of at most budget bytes. Empty when it cannot.
using TDrawCut = std::function<std::vector<std::uint8_t>(
    int maxWidth, int maxHeight, std::span<const std::uint8_t> like, std::size_t budget)>;

// cut's DrawCut as a drawer. Where the cut does not fit a budget at the lowest quality, the box
// halves, a few times, before it gives up.
TDrawCut DrawerOf(const TCutContext& cut);

// An 8 x 8 plain grey JPEG: the smallest picture there is.
std::vector<std::uint8_t> GreyPicture();

// Where a JPEG that starts (with SOI) at the first byte of bytes ends, and its size.
struct TJpegExtent {
  std::size_t End = 0;  // one past its EOI, or bytes.size() when cut off inside its coded data
  int Width = 0;
  int Height = 0;
};
// Empty unless bytes start with a whole JPEG header (a frame, then a scan), each segment inside
// bytes: a few bytes that happen to read FF D8 FF are not taken for a picture.
std::optional<TJpegExtent> FindJpegExtent(std::span<const std::uint8_t> bytes);

// Overwrites the JPEG filling space with one of the cut at the old picture's size class, no
// longer than space, the rest zero bytes: whatever points at space still finds a whole picture.
// Where the cut does not fit, a plain grey picture does; where not even that fits, all of space
// is zeroed. old is the old picture's extent in space.
void RedrawInPlace(std::span<std::uint8_t> space, const TJpegExtent& old, const TDrawCut& draw);

}  // namespace tarvo

namespace tarvo {

// Redraws in place every JPEG that starts in bytes outside leave (a part of bytes held by
// something else), each to the end of its own EOI. Returns how many were found.
int RedrawEmbeddedJpegs(std::span<std::uint8_t> bytes, std::span<const std::uint8_t> leave,
                        const TDrawCut& draw);

}  // namespace tarvo
