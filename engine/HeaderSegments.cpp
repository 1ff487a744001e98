#include "HeaderSegments.h"

#include <algorithm>

#include "JpegMarkers.h"

namespace tarvo {

std::vector<THeaderSegment> HeaderSegments(std::span<const std::uint8_t> jpeg) {
  std::vector<THeaderSegment> segments;
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return segments;
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    if (jpeg[at + 1] == 0xFF) {  // a fill byte (ITU-T T.81 B.1.1.2)
      ++at;
      continue;
    }
    const std::size_t length = jpeg[at + 2] << 8 | jpeg[at + 3];
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    const auto marker = static_cast<std::uint16_t>(0xFF00 | jpeg[at + 1]);
    segments.push_back({marker, at, at + 2 + length});
    if (marker == markers::kSos) break;
    at += 2 + length;
  }
  return segments;
}

bool SegmentIs(std::span<const std::uint8_t> jpeg, const THeaderSegment& segment,
               std::uint16_t marker, std::string_view identifier) {
  return segment.Marker == marker && segment.End - segment.Body() >= identifier.size() &&
         std::equal(identifier.begin(), identifier.end(),
                    jpeg.begin() + static_cast<std::ptrdiff_t>(segment.Body()));
}

}  // namespace tarvo
