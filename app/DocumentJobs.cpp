#include "DocumentJobs.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <future>
#include <utility>

#include "JpegTrimming.h"
#include "ShownWords.h"
#include "UprightPicture.h"
#include "WindowTexts.h"

namespace tarvo {
namespace {

// The engine's reports kept for the document's thread.
std::function<void(const TEngineReport&)> Collector(std::shared_ptr<TMessages> messages) {
  return [messages = std::move(messages)](const TEngineReport& report) {
    messages->push_back(report);
  };
}

}  // namespace

TSourceFacts TSourceFacts::Of(const TJpegTrimming& engine) {
  return {engine.Grid(),
          engine.ExifOrientation(),
          engine.McuRows(),
          engine.DecodedRows(),
          engine.TrimmableHeight(),
          engine.DamagedRegions(),
          false};
}

void TOpenJob::Run() {
  // The new file is analysed and decoded on the side; a refusal or a read error leaves the
  // document the user has been working on untouched. An open the user has replaced by another
  // stops after the piece under way.
  Engine->OnReport = Collector(Messages);
  Analysed = static_cast<bool>(Engine->AnalyzeFile(QFile::encodeName(Path).toStdString()));
  if (!Analysed || Superseded()) return;
  Facts = TSourceFacts::Of(*Engine);
  Bytes = Engine->SourceStream().Bytes();
  Times = ReadFileTimes(Path);
  Picture = Decode(Bytes, Reduction);
  if (Superseded()) return;
  Picture = UprightPicture(Picture, Facts.Exif);
}

void TChangeJob::Run() {
  // The patch needs only the blocks around the region, the step's file codes every one: the
  // wipe is on the screen long before its file is written.
  std::optional<TPicturePatch> patch;
  if (Pictures) {
    Engine->Wipes = Step.Wipes;
    patch = MakePatch();
  }
  if (patch && OnPatch) OnPatch(*patch);
  // Mending the picture held copies its pixels, which the window still shows: a full-size one
  // takes a good part of the time the engine writes the file in, so it is copied beside it, off
  // the window's thread (here, should no thread be had). Its future waits for it, come what may.
  std::future<void> mended;
  if (patch) {
    mended = std::async(std::launch::async | std::launch::deferred,
                        [this, &patch] { Pictures->KeepPatched(*patch); });
  }
  if (ToSource) {
    Trimmed = true;
  } else {
    // Told on the document's thread once the job is back; the output goes to the job alone, so
    // a failure leaves the document's bytes as they were.
    Engine->OnReport = Collector(Messages);
    Engine->Pictures.KeepThumbnails = Step.KeepThumbnails;
    Engine->Wipes = Step.Wipes;
    Trimmed = static_cast<bool>(Engine->TrimCut(Output, CutOf(Step), Step.DropExif, &Cut));
  }
  if (mended.valid()) mended.get();
  // The step stands all the same when the picture cannot be mended: its pictures are decoded as
  // any other's.
  if (Pictures && !(Trimmed && patch)) Pictures.reset();
  if (!ToSource || patch) Found = TSourceFacts::Of(*Engine);
}

std::optional<TPicturePatch> TChangeJob::MakePatch() {
  // A wipe, its undo and its redo keep the cut of the step before, whose edges the engine has
  // snapped already.
  const TOrientedTrim cut = CutOf(Step);
  const TMcuGrid grid = Engine->Grid();
  const TTrimRect grown = GrownToMcus(Mended, grid);
  const TTrimRect& shown = cut.Source;
  const TOrientedTrim around{{std::max(grown.Left - grid.McuWidth, shown.Left),
                              std::max(grown.Top - grid.McuHeight, shown.Top),
                              std::min(grown.Right + grid.McuWidth, shown.Right),
                              std::min(grown.Bottom + grid.McuHeight, shown.Bottom)},
                             cut.Turn,
                             cut.Tag};
  // Only the patch's pixels are shown: without a maker, no copy of the picture is drawn for it.
  // Should the patch be refused, the step says why in its own words; what decoding finds on the
  // way is told as always.
  const auto* maker = std::exchange(Engine->Pictures.Maker, nullptr);
  Engine->OnReport = [messages = Messages](const TEngineReport& report) {
    if (report.Warning) messages->push_back(report);
  };
  TByteStream bytes;
  TOrientedTrim patched;
  const bool cutOut = static_cast<bool>(Engine->TrimCut(bytes, around, true, &patched));
  Engine->Pictures.Maker = maker;
  // The one picture held is the one shown.
  const TPicture* held = Pictures->Nearest(1);
  if (!cutOut || held == nullptr) return std::nullopt;
  try {
    return PatchOf(bytes.Bytes(), InOutputOf(cut, patched.Source), *held, cut.Tag);
  } catch (const EPictureError&) {
    return std::nullopt;
  }
}

void TRowsJob::Run() {
  Engine->OnReport = Collector(Messages);
  Decoded = static_cast<bool>(Engine->DecodeRows(Rows));
  Found = TSourceFacts::Of(*Engine);
}

TTrimRect InOutputOf(const TOrientedTrim& before, const TTrimRect& rect) {
  const TTrimRect& from = before.Source;
  return before.Turn.Map(rect.Shifted(-from.Left, -from.Top), from.Right - from.Left,
                         from.Bottom - from.Top);
}

QString TurnNotice(const TOrientedTrim& before, std::optional<TOrientation> shown,
                   const TTurnLoss& loss) {
  const std::int32_t width = before.Width();
  const std::int32_t height = before.Height();
  const TShownPicture after{shown ? before.Tag.Then(*shown) : before.Tag, width, height};
  QStringList parts;
  const auto part = [&](const TTrimRect& strip, std::int32_t pixels) {
    parts << QString::fromUtf8(kTurnDroppedEdge).arg(ShownEdge(after, strip)).arg(pixels);
  };
  if (loss.Right > 0) part({width - 1, 0, width, height}, loss.Right);
  if (loss.Bottom > 0) part({0, height - 1, width, height}, loss.Bottom);
  if (parts.isEmpty()) return {};
  return QString::fromUtf8(kMsgTurnDropped).arg(parts.join(QString::fromUtf8(kTurnDroppedJoin)));
}

}  // namespace tarvo
