// The marker segments at the head of a JPEG stream, for the parts of a trim that work on whole
// files (the pictures stored with the main one) rather than on the analysed model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarvo {

struct THeaderSegment {
  std::uint16_t Marker = 0;
  std::size_t Start = 0;  // the marker
  std::size_t End = 0;    // one past the last byte
  std::size_t Body() const { return Start + 4; }
};

// The segments after SOI up to and including the first SOS. The walk stops quietly, with what
// it has, at anything that is not a whole segment.
std::vector<THeaderSegment> HeaderSegments(std::span<const std::uint8_t> jpeg);

// True when segment has the marker and its body starts with identifier.
bool SegmentIs(std::span<const std::uint8_t> jpeg, const THeaderSegment& segment,
               std::uint16_t marker, std::string_view identifier);

}  // namespace tarvo
