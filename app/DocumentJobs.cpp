#include "DocumentJobs.h"

#include <QFile>
#include <QStringList>

#include "JpegTrimming.h"
#include "UprightPicture.h"
#include "WindowTexts.h"

namespace tarvo {
namespace {

// The engine's messages kept for the document's thread.
TMessageProc Collector(std::shared_ptr<TMessages> messages) {
  return [messages = std::move(messages)](const std::string& text, int severity) {
    messages->emplace_back(text, severity);
  };
}

// The edge of the picture shown by `shown` where the stored picture's edge strip (one pixel
// deep, of a width x height picture) lies.
const char* ShownEdge(TOrientation shown, const TTrimRect& strip, std::int32_t width,
                      std::int32_t height) {
  const TTrimRect edge = shown.Map(strip, width, height);
  const std::int32_t shownHeight = shown.Transpose ? width : height;
  if (edge.Bottom - edge.Top == shownHeight && edge.Right - edge.Left == 1) {
    return edge.Left == 0 ? kEdgeLeft : kEdgeRight;
  }
  return edge.Top == 0 ? kEdgeTop : kEdgeBottom;
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
  Engine->OnMessage = Collector(Messages);
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
  if (ToSource) {
    Trimmed = true;
    return;
  }
  // Told on the document's thread once the job is back; the output goes to the job alone, so a
  // failure leaves the document's bytes as they were.
  Engine->OnMessage = Collector(Messages);
  Engine->Pictures.KeepThumbnails = Step.KeepThumbnails;
  Trimmed = static_cast<bool>(Engine->TrimCut(Output, CutOf(Step), Step.DropExif, &Cut));
  Found = TSourceFacts::Of(*Engine);
}

void TRowsJob::Run() {
  Engine->OnMessage = Collector(Messages);
  Decoded = static_cast<bool>(Engine->DecodeRows(Rows));
  Found = TSourceFacts::Of(*Engine);
}

QString TurnNotice(const TOrientedTrim& before, const TTurnLoss& loss) {
  const std::int32_t width = before.Width();
  const std::int32_t height = before.Height();
  QStringList parts;
  const auto part = [&](const TTrimRect& strip, std::int32_t pixels) {
    parts << QString::fromUtf8(kTurnDroppedEdge)
                 .arg(QString::fromUtf8(ShownEdge(before.Tag, strip, width, height)))
                 .arg(pixels);
  };
  if (loss.Right > 0) part({width - 1, 0, width, height}, loss.Right);
  if (loss.Bottom > 0) part({0, height - 1, width, height}, loss.Bottom);
  if (parts.isEmpty()) return {};
  return QString::fromUtf8(kMsgTurnDropped).arg(parts.join(QString::fromUtf8(kTurnDroppedJoin)));
}

}  // namespace tarvo
