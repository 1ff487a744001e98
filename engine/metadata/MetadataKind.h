// One kind of metadata a JPEG file carries, and what it is told of the cut it follows. Every
// kind decides its segment's new body from the source before the cut is written: the writer
// then emits each segment once and never reads the output back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

#include "JpegModel.h"
#include "Orientation.h"
#include "PictureMaker.h"
#include "StoredPictureCutter.h"
#include "TrimRect.h"
#include "Wipe.h"

namespace tarvo {

struct TStoredImagesPlan;

// A picture of the cut to be drawn: scaled down to fit MaxWidth x MaxHeight keeping its aspect,
// never enlarged, at about the quality Like (a JPEG) was made with, or at Quality (1 to 100)
// when that is given. MaxBytes bounds the result: the quality is lowered until it fits.
struct TDrawRequest {
  int MaxWidth = 0;
  int MaxHeight = 0;
  std::span<const std::uint8_t> Like;
  int Quality = 0;
  std::size_t MaxBytes = std::numeric_limits<std::size_t>::max();
};

// What a kind is told of the cut.
struct TCutContext {
  // The whole source file and its analysis; segment bodies are read from here.
  std::span<const std::uint8_t> Source;
  const TJpegModel& Model;
  // One past the main picture's EOI in Source (its size when it has none).
  std::size_t ImageEnd = 0;
  // The source pixels the cut keeps, before any turn, Left and Top on the MCU grid.
  TTrimRect Rect;
  // How the kept blocks were turned or mirrored, and the orientation the output states.
  TOrientation Turn;
  TOrientation Orientation;
  // The output's size as stored (after the turn).
  int Width = 0;
  int Height = 0;
  // Every APP1 segment is left out.
  bool DropExif = false;
  // Thumbnails and previews stay byte for byte.
  bool KeepThumbnails = false;
  // False for a picture stored inside a file, whose own stored images stay as they are.
  bool StoredImages = true;
  // Draws pictures that cannot be cut losslessly; null when none may be drawn.
  const TPictureMaker* Maker = nullptr;
  // Cuts and turns the pictures stored in the file without loss.
  const TStoredPictureCutter* Cutter = nullptr;
  // Draws the cut itself (see TDrawRequest); empty when it cannot, or without a Maker.
  std::function<std::vector<std::uint8_t>(const TDrawRequest&)> DrawCut;
  // The images stored after the main picture as the output holds them, decided before any
  // segment is; null when the cut leaves them alone.
  const TStoredImagesPlan* Stored = nullptr;
  // The regions of the source's stored pixels the cut has blanked, in order: no copy of the
  // picture may be kept as it was, and pictures stored beside it are wiped alike.
  std::span<const TWipe> Wipes;
};

// A metadata segment of the source, as a kind is handed it.
struct TSegmentRef {
  std::uint16_t Marker = 0;
  std::span<const std::uint8_t> Body;  // after the length word, identifier included
  // Among the segments before the scan, and the first of them this kind owns.
  bool InHeader = false;
  bool FirstInHeader = false;
};

// What the output holds in place of a segment.
struct TSegmentFate {
  enum class TAction { kCopy, kReplace, kDrop };
  TAction Action = TAction::kCopy;
  std::vector<std::uint8_t> Body;  // kReplace: the new body, identifier included, under 65534

  static TSegmentFate Copy() { return {}; }
  static TSegmentFate Drop() { return {TAction::kDrop, {}}; }
  static TSegmentFate Replace(std::vector<std::uint8_t> body) {
    return {TAction::kReplace, std::move(body)};
  }
};

// A kind: which segments it owns, by marker and identifier, and what becomes of each.
struct TMetadataKind {
  bool (*Owns)(std::uint16_t marker, std::span<const std::uint8_t> body);
  TSegmentFate (*Follow)(const TSegmentRef& segment, const TCutContext& cut);
};

}  // namespace tarvo
