// The document's work that runs on other threads: an open, a change (trim, turn, wipe, undo, redo)
// and a piece of the coefficients decoded ahead, each a job that owns or shares all it touches, and
// the facts of the source that the window's thread reads in place of the engine.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ByteStream.h"
#include "EngineCallbacks.h"
#include "FileTimes.h"
#include "JpegError.h"
#include "Orientation.h"
#include "OrientedTrim.h"
#include "PictureCache.h"
#include "PictureDecoder.h"
#include "PicturePatch.h"
#include "TrimRect.h"
#include "Wipe.h"

namespace tarvo {

class TJpegTrimming;

// One trim, turn or wipe: the source rectangle the engine cut, whether that step dropped the Exif
// segment, the turn of the kept blocks and the orientation the result states, and the regions
// wiped so far in the source's stored pixels, all composed from the source, so that every step is
// written from the source in one go.
struct TTrimStep {
  TTrimRect Rect;
  bool DropExif = false;
  bool KeepThumbnails = false;
  TOrientation Turn;
  TOrientation Tag;
  std::vector<TWipe> Wipes;

  friend bool operator==(const TTrimStep&, const TTrimStep&) = default;
};

inline TOrientedTrim CutOf(const TTrimStep& step) { return {step.Rect, step.Turn, step.Tag}; }

// What the document knows of its source's engine: its picture's geometry, fixed once analysed,
// and what decoding its coefficients has found so far. Taken by the work that used the engine,
// on its thread, so that the window's thread never reads an engine another thread may use.
struct TSourceFacts {
  TMcuGrid Grid;
  TOrientation Exif;
  int McuRows = 0;
  int Rows = 0;  // decoded so far
  int TrimmableHeight = 0;
  std::vector<TTrimRect> Damaged;
  bool Failed = false;  // decoding cannot go on; a trim that needs the rows says why

  static TSourceFacts Of(const TJpegTrimming& engine);
  bool Decoded() const { return Failed || Rows >= McuRows; }
};

// The bytes of a state of the document, with what keeps them alive for work on other threads.
struct TSharedBytes {
  std::shared_ptr<const void> Owner;
  std::span<const std::uint8_t> Bytes;
};

// The engine's reports of a job, kept to be told on the document's thread: they may come from
// any.
using TMessages = std::vector<TEngineReport>;

// Analyses a file in an engine of its own and decodes its picture as shown.
struct TOpenJob {
  QString Path;
  int Reduction = 1;
  TPictureDecode Decode;
  std::uint64_t Id = 0;
  // The last open asked for: a job that is no longer it stops at its next piece.
  std::shared_ptr<const std::atomic<std::uint64_t>> LastOpen;
  std::shared_ptr<TJpegTrimming> Engine;
  bool Analysed = false;
  TFileTimes Times;
  TPicture Picture;
  TSourceFacts Facts;
  // The file's bytes, which stay with the engine.
  std::span<const std::uint8_t> Bytes;
  std::shared_ptr<TMessages> Messages = std::make_shared<TMessages>();

  bool Superseded() const { return LastOpen->load() != Id; }
  void Run();
};

// A trim, a turn, a wipe, or a step of the history written again (an undo's step before, a redo's),
// on the engine the job shares with the document.
struct TChangeJob {
  std::shared_ptr<TJpegTrimming> Engine;
  std::uint64_t State = 0;
  // Nothing to cut: an undo back to the opened file's bytes.
  bool ToSource = false;
  TTrimStep Step;
  // What a turn cut off, what a mosaic leaves to be read, or empty.
  QString Notice;
  std::optional<TTrimRect> Restored;
  TByteStream Output;
  TOrientedTrim Cut;
  bool Trimmed = false;
  // For a wipe of the picture shown, its undo or its redo: the region wiped or given back, in the
  // source's stored pixels, and the pictures held when it began, the one shown only, mended there
  // instead of decoded again; nothing once they cannot be.
  TTrimRect Mended;
  std::optional<TPictureCache> Pictures;
  // Told on the job's thread the patch that mends the picture shown, before the step's file is
  // written: the wipe shows at once.
  std::function<void(const TPicturePatch&)> OnPatch;
  std::shared_ptr<TMessages> Messages = std::make_shared<TMessages>();
  // What the engine's decoding had found once the trim was done; nothing when it was not used.
  std::optional<TSourceFacts> Found;

  void Run();

 private:
  // Mended with an MCU around it, as the step shows it, cut from the step's picture and decoded
  // as the picture held is shown; nothing when it cannot be.
  std::optional<TPicturePatch> MakePatch();
};

// The next rows of the source's coefficients, decoded on the engine the document had then.
struct TRowsJob {
  std::shared_ptr<TJpegTrimming> Engine;
  int Rows = 0;
  bool Decoded = false;
  TSourceFacts Found;
  std::shared_ptr<TMessages> Messages = std::make_shared<TMessages>();

  void Run();
};

// Where rect, in source pixels inside before's source rectangle, lies in before's output.
TTrimRect InOutputOf(const TOrientedTrim& before, const TTrimRect& rect);

// What a turn of before cut off, at the edges of the picture as it is shown after the turn (shown:
// the turn, as shown, or nothing when it turns the stored pixels to show as they did), or empty.
QString TurnNotice(const TOrientedTrim& before, std::optional<TOrientation> shown,
                   const TTurnLoss& loss);

}  // namespace tarvo
