// The size a JPEG file's frame header states.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "JpegMarkers.h"
#include "JpegModelReader.h"

namespace tarvo {

struct TPictureSize {
  int Width = 0;
  int Height = 0;
};

// The width and height of jpeg's frame, when its header reaches one.
inline std::optional<TPictureSize> ReadPictureSize(std::span<const std::uint8_t> jpeg) {
  for (const TSegment& segment : ReadHeaderLayout(jpeg)) {
    // The precision, then the height and the width (ITU-T T.81 B.2.2).
    const std::size_t at = segment.Body();
    if (!markers::IsFrameMarker(segment.Marker) || at + 5 > static_cast<std::size_t>(segment.End)) {
      continue;
    }
    return TPictureSize{jpeg[at + 3] << 8 | jpeg[at + 4], jpeg[at + 1] << 8 | jpeg[at + 2]};
  }
  return std::nullopt;
}

}  // namespace tarvo
