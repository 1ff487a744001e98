// Why the engine refuses a file or a trim, and what it read past in a damaged file, as values:
// the inner steps return them, and MessageText turns them into the user's words in one place.
#pragma once

#include <cstdint>
#include <optional>

#include "TrimRect.h"

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
  kNoFrameDqt,
  kHuffmanBlock,
  // The trim.
  kRectOutside,
  kTooSmallToTurn,
  kBeyondCutOff,
  kBeyondDamage,
  kDamagedRegion,
  kUncodableCoefficient,
  kOutOfMemory,
};

// What an engine step ended with: success, or the error and, for kUnknownMarker, the marker,
// for kBeyondCutOff and kBeyondDamage the pixel rows a trim may reach, for kDamagedRegion the
// damaged pixels.
struct TJpegStatus {
  EJpegError Error = EJpegError::kNone;
  std::uint16_t Marker = 0;
  std::int32_t Rows = 0;
  TTrimRect Region{};

  TJpegStatus() = default;
  TJpegStatus(EJpegError error, std::uint16_t marker = 0) : Error(error), Marker(marker) {}
  explicit operator bool() const { return Error == EJpegError::kNone; }
};

// What the engine read past to read a damaged file on, as libjpeg reads it: the file is still
// opened and trimmed, and the user is told.
enum class EJpegWarning : std::uint8_t {
  kExtraneousBytes,  // Count bytes before a marker that start none
  kEmptySegment,     // an APPn or COM segment (Marker) too short for its own length word
  kCutOff,           // the coded data end early: Count rows of the picture's Rows arrived
  kDamagedScan,  // a scan cannot be read on: Count rows of the picture's Rows above it are whole
};

struct TJpegWarning {
  EJpegWarning Kind = EJpegWarning::kExtraneousBytes;
  std::int64_t Count = 0;
  std::uint16_t Marker = 0;
  std::int32_t Rows = 0;

  friend bool operator==(const TJpegWarning&, const TJpegWarning&) = default;
};

// What the engine tells, as data, for a caller that words it itself: a refusal (Failure, in a
// trim's words when TrimWording), or something it read past (Warning).
struct TEngineReport {
  TJpegStatus Failure;
  bool TrimWording = false;
  std::optional<TJpegWarning> Warning;
};

}  // namespace tarvo
