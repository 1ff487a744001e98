// Why the engine refuses a file or a trim, as values: the inner steps return them, and
// MessageText turns them into the user's words in one place.
#pragma once

#include <cstdint>

namespace tarvo {

enum class EJpegError : std::uint8_t {
  kNone,
  // The marker segments.
  kNoSoi,
  kUnknownMarker,
  kBadSegmentLength,
  kBadFrame,
  kSecondFrame,
  kComponentCount,
  kDuplicateComponentId,
  kBadSampling,
  kBadQuantSelector,
  kNotEightBit,
  kZeroSize,
  kTooLarge,
  kBadDht,
  kBadDqt,
  kQuantRedefined,
  kNoDht,
  kNoDqt,
  kBadSos,
  kTooManyScans,
  kComponentNotCoded,
  kBadDac,
  kLossless,
  kHierarchical,
  kBadTail,
  // The coded data.
  kScanTooShort,
  kBitStream,
  kHuffmanBlock,
  // The trim.
  kRectOutside,
  kTooSmallToTurn,
  kUncodableCoefficient,
  kOutOfMemory,
};

// What an engine step ended with: success, or the error and, for kUnknownMarker, the marker.
struct TJpegStatus {
  EJpegError Error = EJpegError::kNone;
  std::uint16_t Marker = 0;

  TJpegStatus() = default;
  TJpegStatus(EJpegError error, std::uint16_t marker = 0) : Error(error), Marker(marker) {}
  explicit operator bool() const { return Error == EJpegError::kNone; }
};

}  // namespace tarvo
