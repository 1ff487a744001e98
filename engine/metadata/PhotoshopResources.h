// The image resources Photoshop, Lightroom and Bridge store in APP13 segments: their thumbnail
// follows the cut, every other resource (IPTC records among them) stays byte for byte.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "CutDrawing.h"
#include "MetadataKind.h"

namespace tarvo {

// What an APP13 body that holds image resources starts with.
inline constexpr std::string_view kPhotoshopIdentifier{"Photoshop 3.0\0", 14};

// bodies are the APP13 image-resource segments' bodies in file order (identifier included),
// whose resources run on from one into the next. The bodies to write instead: the same, byte
// for byte, without a thumbnail resource; otherwise the thumbnail drawn again from the cut at
// its old size (an old-style one, 0x0409, becomes the current kind, 0x040C) within the room the
// other resources leave in as many segments as bodies, or left out where it cannot be drawn so.
// There are never more bodies than given, and fewer only where the resources shrank.
std::vector<std::vector<std::uint8_t>> FollowCutInPhotoshopResources(
    const std::vector<std::span<const std::uint8_t>>& bodies, const TDrawCut& draw);

// The kind that owns the APP13 image-resource segments. The first of them in the header is given
// the resources' first part, the next ones the rest, and those left over are left out; with
// KeepThumbnails they all stay.
TMetadataKind PhotoshopKind();

}  // namespace tarvo
