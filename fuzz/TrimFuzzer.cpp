// Fuzz target: analysis and two trims of whatever bytes arrive, with the rectangle and the
// DropExif flag taken from the input, then a turned or mirrored cut, wiped first where the input
// asks (a wipe is also the first trim of an engine of its own), with thumbnails and previews made
// anew when the input asks for a picture maker. Every
// outcome must be a message or a decodable JPEG that carries the source's blocks wherever libjpeg
// reads the source cleanly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "ByteStream.h"
#include "JpegTrimming.h"
#include "LibjpegPictureMaker.h"
#include "OrientedTrim.h"
#include "OutputCheck.h"
#include "StreamError.h"

namespace {

// The first bytes steer the trim; the rest is the file.
struct Steering {
  bool dropExif = false;
  bool rawRect = false;    // pass the rectangle unsnapped and unchecked
  bool stopEarly = false;  // decode only down to the first rectangle
  int turn = 0;            // the turn of the third cut: transpose, mirror across, mirror down
  bool maker = false;      // draw thumbnails and previews anew
  bool wipe = false;       // blank the second rectangle before the turned cut, fill by right % 3
  std::uint8_t left = 0, top = 0, right = 255, bottom = 255;
};
constexpr std::size_t kSteeringSize = 5;

Steering ReadSteering(const std::uint8_t* data) {
  Steering s;
  s.dropExif = (data[0] & 1) != 0;
  s.rawRect = (data[0] & 2) != 0;
  s.stopEarly = (data[0] & 4) != 0;
  s.turn = data[0] >> 3 & 7;
  s.maker = (data[0] & 64) != 0;
  s.wipe = (data[0] & 128) != 0;
  s.left = data[1];
  s.top = data[2];
  s.right = data[3];
  s.bottom = data[4];
  return s;
}

// Maps the steering bytes onto the image: left/top on the MCU grid, at least one pixel wide.
tarvo::TTrimRect MakeRect(const Steering& s, const tarvo::TJpegTrimming& engine) {
  const std::int32_t w = engine.ImageWidth();
  // A cut-off file is trimmed inside the rows that arrived.
  const std::int32_t h = engine.TrimmableHeight();
  if (s.rawRect) {
    return {s.left * 8 - 64, s.top * 8 - 64, s.right * 8 - 64, s.bottom * 8 - 64};
  }
  const std::int32_t mcuW = engine.McuWidth();
  const std::int32_t mcuH = engine.McuHeight();
  tarvo::TTrimRect rect;
  rect.Left = static_cast<std::int32_t>(std::int64_t{w - 1} * s.left / 255) / mcuW * mcuW;
  rect.Top = static_cast<std::int32_t>(std::int64_t{h - 1} * s.top / 255) / mcuH * mcuH;
  rect.Right =
      rect.Left + 1 + static_cast<std::int32_t>(std::int64_t{w - rect.Left - 1} * s.right / 255);
  rect.Bottom =
      rect.Top + 1 + static_cast<std::int32_t>(std::int64_t{h - rect.Top - 1} * s.bottom / 255);
  return rect;
}

// Every refusal must say why: a false without a report would leave the user guessing.
void CheckReported(int reports) {
  if (reports == 0) {
    std::fprintf(stderr, "refused without a message\n");
    std::abort();
  }
}

// source: the blocks libjpeg reads from the source, when it reads them without a warning.
void TrimAndCheck(tarvo::TJpegTrimming& engine, const tarvo::TTrimRect& rect, bool dropExif,
                  int& reports, const tarvo::fuzzing::TCoefficientImage* source) {
  tarvo::TByteStream output;
  bool trimmed = false;
  tarvo::TTrimRect cut;
  reports = 0;
  try {
    trimmed = static_cast<bool>(engine.Trim(output, rect, dropExif, &cut));
  } catch (const tarvo::EStreamError&) {
    return;
  }
  if (!trimmed) CheckReported(reports);
  if (!trimmed) return;
  tarvo::fuzzing::TCoefficientImage trim;
  if (!tarvo::fuzzing::OutputDecodes(output.Bytes(), cut, trim)) std::abort();
  // The cut starts at the MCU of Left and Top, whatever the grid, and keeps Right and Bottom.
  const int mcuW = engine.McuWidth();
  const int mcuH = engine.McuHeight();
  if (cut.Left != rect.Left / mcuW * mcuW || cut.Top != rect.Top / mcuH * mcuH ||
      cut.Right != rect.Right || cut.Bottom != rect.Bottom) {
    std::abort();
  }
  if (source != nullptr &&
      !tarvo::fuzzing::WindowMatches(*source, trim, cut.Left / mcuW, cut.Top / mcuH)) {
    std::abort();
  }
}

// A cut of the picture turned by turn, to the steered share of what the turn leaves: a message,
// or a file that decodes at the cut's size.
void TurnAndCheck(tarvo::TJpegTrimming& engine, int turn, const Steering& s, int& reports) {
  const tarvo::TMcuGrid grid = engine.Grid();
  tarvo::TTurnLoss loss;
  const tarvo::TOrientedTrim turned =
      tarvo::Turned(tarvo::WholePicture(grid, engine.ExifOrientation()),
                    {(turn & 4) != 0, (turn & 2) != 0, (turn & 1) != 0}, grid, loss);
  const std::int32_t w = turned.Width();
  const std::int32_t h = turned.Height();
  if (w < 1 || h < 1) return;
  const tarvo::TTrimRect rect{static_cast<std::int32_t>(std::int64_t{w - 1} * s.left / 255),
                              static_cast<std::int32_t>(std::int64_t{h - 1} * s.top / 255), w, h};
  const tarvo::TOrientedTrim cut = tarvo::Trimmed(turned, rect, grid);
  tarvo::TByteStream output;
  bool trimmed = false;
  reports = 0;
  try {
    trimmed = static_cast<bool>(engine.TrimCut(output, cut, s.dropExif));
  } catch (const tarvo::EStreamError&) {
    return;
  }
  if (!trimmed) CheckReported(reports);
  if (!trimmed) return;
  tarvo::fuzzing::TCoefficientImage image;
  if (!tarvo::fuzzing::OutputDecodes(output.Bytes(), {0, 0, cut.Width(), cut.Height()}, image)) {
    std::abort();
  }
}

// A first wipe of the whole picture by a fresh engine, which may copy the coded rows it leaves
// as they are: a message, or a file that decodes at the picture's size.
void WipeAndCheck(std::span<const std::uint8_t> bytes, const tarvo::TWipe& wipe,
                  const tarvo::TPictureMaker* maker, bool dropExif) {
  tarvo::TJpegTrimming engine;
  engine.LimitMemory(tarvo::fuzzing::kMemoryBound);
  engine.Pictures.Maker = maker;
  int reports = 0;
  engine.OnMessage = [&reports](const std::string&, int) { ++reports; };
  tarvo::TByteStream output;
  bool trimmed = false;
  try {
    if (!engine.AnalyzeBytes(bytes)) return;
    engine.Wipes = {wipe};
    trimmed = static_cast<bool>(engine.TrimCut(
        output, tarvo::WholePicture(engine.Grid(), engine.ExifOrientation()), dropExif));
  } catch (const tarvo::EStreamError&) {
    return;
  }
  if (!trimmed) CheckReported(reports);
  if (!trimmed) return;
  tarvo::fuzzing::TCoefficientImage image;
  if (!tarvo::fuzzing::OutputDecodes(output.Bytes(),
                                     {0, 0, engine.ImageWidth(), engine.ImageHeight()}, image)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kSteeringSize) return 0;
  const Steering steering = ReadSteering(data);
  tarvo::TJpegTrimming engine;
  // A few bytes of an arithmetic-coded scan may declare a picture of any size: one whose blocks
  // would outgrow the fuzzer's memory bound is refused, as on a machine with that much memory.
  engine.LimitMemory(tarvo::fuzzing::kMemoryBound);
  const tarvo::TLibjpegPictureMaker maker;
  if (steering.maker) engine.Pictures.Maker = &maker;
  int reports = 0;
  engine.OnMessage = [&reports](const std::string&, int) { ++reports; };
  try {
    if (!engine.AnalyzeBytes(std::span(data + kSteeringSize, size - kSteeringSize))) {
      CheckReported(reports);
      return 0;
    }
  } catch (const tarvo::EStreamError&) {
    return 0;
  }
  tarvo::fuzzing::TCoefficientImage source;
  const bool sourceClean =
      tarvo::fuzzing::ReadCoefficientImage(std::span(data + kSteeringSize, size - kSteeringSize),
                                           source, false) &&
      source.warnings == 0;
  const tarvo::fuzzing::TCoefficientImage* reference = sourceClean ? &source : nullptr;
  const tarvo::TTrimRect first = MakeRect(steering, engine);
  // The second trim may then reach below what was decoded, and decode the rest.
  if (steering.stopEarly) {
    const tarvo::TOrientedTrim cut{first, tarvo::kAsStored, engine.ExifOrientation()};
    engine.DecodeOnlyFor(std::span(&cut, 1));
  }
  TrimAndCheck(engine, first, steering.dropExif, reports, reference);
  // A second trim runs from the cached coefficients: another window, the other Exif choice.
  Steering other = steering;
  other.left = static_cast<std::uint8_t>(255 - steering.left);
  other.top = static_cast<std::uint8_t>(255 - steering.top);
  TrimAndCheck(engine, MakeRect(other, engine), !steering.dropExif, reports, reference);
  if (steering.wipe) {
    const tarvo::TWipe wipe{MakeRect(other, engine),
                            static_cast<tarvo::EWipeFill>(steering.right % 3)};
    WipeAndCheck(std::span(data + kSteeringSize, size - kSteeringSize), wipe, engine.Pictures.Maker,
                 steering.dropExif);
    engine.Wipes = {wipe};
  }
  TurnAndCheck(engine, steering.turn, steering, reports);
  return 0;
}
