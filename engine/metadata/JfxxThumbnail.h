// The thumbnail of a JFIF extension segment (APP0 "JFXX"), drawn again from the cut.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "CutDrawing.h"
#include "MetadataKind.h"

namespace tarvo {

inline constexpr std::string_view kJfxxIdentifier{"JFXX\0", 5};

// The body to write for body, an APP0 "JFXX" segment's: a thumbnail (JPEG, palette or RGB) is
// drawn again from the cut at its old size and stored JPEG-coded, the form every JFXX reader
// takes; empty where it cannot be drawn, and the segment is left out. Extensions that hold no
// thumbnail stay as they are.
std::optional<std::vector<std::uint8_t>> FollowCutInJfxx(std::span<const std::uint8_t> body,
                                                         const TDrawCut& draw);

// The kind that owns APP0 "JFXX" segments; with KeepThumbnails they stay.
TMetadataKind JfxxKind();

}  // namespace tarvo
