#include "Document.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <algorithm>

#include "AtomicFileWriter.h"
#include "ClipboardPicture.h"
#include "DesktopThumbnails.h"
#include "JpegTrimming.h"
#include "Messages.h"
#include "WindowTexts.h"

namespace tarvo {
namespace {

// The folder of path with its trailing separator, as the save dialog and gSaveFolderName keep it.
QString FolderOf(const QString& path) {
  QString folder = QFileInfo(path).absolutePath();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

// Writes to a temporary file beside path and renames it into place, so a failure midway leaves
// an existing file as it was.
void WriteFileAtomically(const QString& path, std::span<const std::uint8_t> bytes) {
  TAtomicFileWriter writer({.SyncToDisk = true, .WaitForReader = false});
  writer.Add(QFile::encodeName(path).toStdString(), bytes);
  writer.Commit();
}

TOrientedTrim CutOf(const TTrimStep& step) { return {step.Rect, step.Turn, step.Tag}; }

TTrimStep StepOf(const TOrientedTrim& cut, bool dropExif, bool keepThumbnails) {
  return {cut.Source, dropExif, keepThumbnails, cut.Turn, cut.Tag};
}

// Between the pictures of the stored pixels and of the selection, one transposed where the
// orientation transposes: the same exchange either way.
TTrimRect Transposed(const TTrimRect& rect, bool transpose) {
  return transpose ? TTrimRect{rect.Top, rect.Left, rect.Bottom, rect.Right} : rect;
}

// Where rect, in source pixels inside before's source rectangle, lies in before's output.
TTrimRect InOutputOf(const TOrientedTrim& before, const TTrimRect& rect) {
  const TTrimRect& from = before.Source;
  return before.Turn.Map(rect.Shifted(-from.Left, -from.Top), from.Right - from.Left,
                         from.Bottom - from.Top);
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

// What a turn of before cut off, at the edges of the picture as it was shown.
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

}  // namespace

// Everything an open needs, done on any thread: the analysed engine and its first picture.
struct TDocument::TOpenJob {
  QString Path;
  int Reduction = 1;
  TPictureDecode Decode;
  std::uint64_t Id = 0;
  std::shared_ptr<TJpegTrimming> Engine;
  bool Analysed = false;
  TFileTimes Times;
  TPicture Picture;
  std::shared_ptr<TMessages> Messages = std::make_shared<TMessages>();
};

// A trim, or an undo's redo of the trim before it, on the engine it shares with the document.
struct TDocument::TTrimJob {
  std::shared_ptr<TJpegTrimming> Engine;
  std::uint64_t State = 0;
  // Nothing to cut: an undo back to the opened file's bytes.
  bool ToSource = false;
  TTrimStep Step;
  // A turn, told with what it cut off.
  bool Turned = false;
  QString Notice;
  std::optional<TTrimRect> Restored;
  TByteStream Output;
  TOrientedTrim Cut;
  bool Trimmed = false;
  std::shared_ptr<TMessages> Messages = std::make_shared<TMessages>();
  // What the engine's decoding had found once the trim was done; nothing when it was not used.
  std::optional<TDecodeFound> Found;
};

// The next rows of the source's coefficients, decoded on the engine the document had then.
struct TDocument::TRowsJob {
  std::shared_ptr<TJpegTrimming> Engine;
  int Rows = 0;
  bool Decoded = false;
  TDecodeFound Found;
  std::shared_ptr<TMessages> Messages = std::make_shared<TMessages>();
};

TDocument::TDecodeFound TDocument::FoundIn(const TJpegTrimming& engine) {
  return {engine.DecodedRows(), engine.McuRows(), engine.TrimmableHeight(), engine.DamagedRegions(),
          false};
}

// The engine's messages kept for the document's thread: they may come from any.
TMessageProc TDocument::Collector(std::shared_ptr<TMessages> messages) {
  return [messages = std::move(messages)](const std::string& text, int severity) {
    messages->emplace_back(text, severity);
  };
}

TDocument::TDocument(TAppSettings& settings, TDocumentPrompts& prompts, TMessageProc onMessage,
                     TDocumentWork work)
    : settings_(settings),
      prompts_(prompts),
      onMessage_(std::move(onMessage)),
      decode_(std::move(work.Decode)),
      rowPiecePixels_(work.RowPiecePixels),
      engine_(std::make_shared<TJpegTrimming>()),
      work_(work.Threads) {}

TDocument::~TDocument() = default;

std::shared_ptr<TDocument::TOpenJob> TDocument::PrepareOpen(const QString& path, int reduction) {
  auto job = std::make_shared<TOpenJob>();
  job->Path = path;
  job->Reduction = reduction;
  job->Decode = decode_;
  job->Id = ++lastOpen_;
  job->Engine = std::make_shared<TJpegTrimming>();
  job->Engine->Pictures.Maker = &pictureMaker_;
  job->Engine->OnMessage = Collector(job->Messages);
  return job;
}

void TDocument::RunOpen(TOpenJob& job) {
  // The new file is analysed and decoded on the side; a refusal or a read error leaves the
  // document the user has been working on untouched.
  job.Analysed =
      static_cast<bool>(job.Engine->AnalyzeFile(QFile::encodeName(job.Path).toStdString()));
  if (!job.Analysed) return;
  job.Times = ReadFileTimes(job.Path);
  job.Picture = job.Decode(job.Engine->SourceStream().Bytes(), job.Reduction);
}

bool TDocument::FinishOpen(TOpenJob& job, std::exception_ptr error) {
  // Only the last open started counts; the user has chosen another file since this one.
  if (job.Id != lastOpen_) return false;
  Replay(*job.Messages);
  if (error) std::rethrow_exception(error);
  if (!job.Analysed) return false;
  job.Engine->OnMessage = onMessage_;
  Forget();
  engine_ = std::move(job.Engine);
  // No other work has the new engine yet.
  found_ = FoundIn(*engine_);
  pictures_.Hold(std::move(job.Picture));
  sourceTimes_ = job.Times;
  PresetSaveDialog(job.Path);
  docFileName_ = job.Path;
  opened_ = true;
  Tell({TDocumentChange::Opened, {}, 1, {}});
  // The picture shows: its coefficients follow on the side, ready for the first trim.
  DecodeMoreRows();
  return true;
}

bool TDocument::OpenDocument(const QString& path, int reduction) {
  const std::shared_ptr<TOpenJob> job = PrepareOpen(path, reduction);
  std::exception_ptr error;
  try {
    RunOpen(*job);
  } catch (...) {
    error = std::current_exception();
  }
  return FinishOpen(*job, error);
}

void TDocument::StartOpen(const QString& path, int reduction) {
  const std::shared_ptr<TOpenJob> job = PrepareOpen(path, reduction);
  ++opening_;
  Tell({TDocumentChange::WorkChanged, {}, 1, {}});
  work_.Run([job] { RunOpen(*job); },
            [this, job](std::exception_ptr error) {
              --opening_;
              const std::uint64_t state = state_;
              try {
                FinishOpen(*job, error);
              } catch (...) {
                Report(std::current_exception());
              }
              if (state_ == state) Tell({TDocumentChange::WorkChanged, {}, 1, {}});
            });
}

std::span<const std::uint8_t> TDocument::Bytes() const { return SharedBytes().Bytes; }

TDocument::TSharedBytes TDocument::SharedBytes() const {
  if (docStream_) return {docStream_, docStream_->Bytes()};
  return {engine_, engine_->SourceStream().Bytes()};
}

const TPicture& TDocument::Picture(int reduction) { return pictures_.At(Bytes(), reduction); }

const TPicture* TDocument::PictureOrDecode(int reduction) {
  if (!opened_) return nullptr;
  if (pictures_.Holds(reduction)) return &pictures_.At(Bytes(), reduction);
  if (!decoding_.insert(reduction).second) return nullptr;
  struct TDecodeJob {
    TSharedBytes Source;
    TPicture Picture;
  };
  auto job = std::make_shared<TDecodeJob>();
  job->Source = SharedBytes();
  const std::uint64_t state = state_;
  work_.Run(
      [job, reduction, decode = decode_] { job->Picture = decode(job->Source.Bytes, reduction); },
      [this, job, state, reduction](std::exception_ptr error) {
        // A trim, an undo or another file since: the picture shows nothing of the document.
        if (state != state_) return;
        decoding_.erase(reduction);
        if (error) {
          // Bytes that do not decode cannot be shown, nor a selection be taken on them.
          Close();
          Report(error);
          return;
        }
        pictures_.Keep(std::move(job->Picture));
        Tell({TDocumentChange::PictureReady, {}, reduction, {}});
      });
  // Work run on this thread is over already.
  return opened_ && pictures_.Holds(reduction) ? &pictures_.At(Bytes(), reduction) : nullptr;
}

const TPicture* TDocument::Preview(int reduction) const { return pictures_.Nearest(reduction); }

QSize TDocument::FrameSize() const {
  if (!opened_) return {};
  const TOrientedTrim cut = CurrentCut();
  return {cut.Width(), cut.Height()};
}

// The stored picture's MCU is the source's, transposed by the turn; the selection's picture
// transposes it again where the orientation does.
int TDocument::McuWidth() const {
  const TOrientedTrim cut = CurrentCut();
  return cut.Turn.Transpose != cut.Tag.Transpose ? engine_->McuHeight() : engine_->McuWidth();
}

int TDocument::McuHeight() const {
  const TOrientedTrim cut = CurrentCut();
  return cut.Turn.Transpose != cut.Tag.Transpose ? engine_->McuWidth() : engine_->McuHeight();
}

TOrientation TDocument::ShownOrientation() const { return CurrentCut().Tag; }

TOrientedTrim TDocument::CurrentCut() const {
  if (trimHistory_.empty()) return WholePicture(engine_->Grid(), engine_->ExifOrientation());
  return CutOf(trimHistory_.back());
}

QSize TDocument::SelectableSize() const {
  const TOrientedTrim cut = CurrentCut();
  std::int32_t storedHeight = cut.Height();
  // A trim's or turn's result lies inside the rows the engine let it take.
  if (trimHistory_.empty()) storedHeight = std::min(storedHeight, found_.TrimmableHeight);
  return cut.Tag.Transpose ? QSize(storedHeight, cut.Width()) : QSize(cut.Width(), storedHeight);
}

std::vector<TTrimRect> TDocument::DamagedRegions() const {
  std::vector<TTrimRect> regions;
  if (!opened_ || !trimHistory_.empty()) return regions;
  const bool transpose = engine_->ExifOrientation().Transpose;
  for (const TTrimRect& region : found_.Damaged) regions.push_back(Transposed(region, transpose));
  return regions;
}

std::optional<TTrimRect> TDocument::IntactRect() const {
  if (!opened_ || !trimHistory_.empty() || found_.Damaged.empty()) return std::nullopt;
  // Damaged regions span whole MCU rows of the stored picture, or lie within one: the rows
  // between them are intact.
  std::vector<TTrimRect> damaged = found_.Damaged;
  std::sort(damaged.begin(), damaged.end(),
            [](const TTrimRect& a, const TTrimRect& b) { return a.Top < b.Top; });
  const int bottom = found_.TrimmableHeight;
  TTrimRect best{0, 0, engine_->ImageWidth(), 0};
  int top = 0;
  const auto consider = [&](int end) {
    if (end - top > best.Bottom - best.Top) {
      best.Top = top;
      best.Bottom = end;
    }
  };
  for (const TTrimRect& region : damaged) {
    consider(std::min(region.Top, bottom));
    top = std::max(top, region.Bottom);
  }
  consider(bottom);
  if (best.Bottom <= best.Top) return std::nullopt;
  return Transposed(best, engine_->ExifOrientation().Transpose);
}

QString TDocument::StatusText() const {
  if (!opened_) return {};
  if (trimHistory_.empty()) {
    // The size as shown.
    const bool transposed = engine_->ExifOrientation().Transpose;
    return QStringLiteral("%1 (%2x%3)")
               .arg(docFileName_)
               .arg(transposed ? engine_->ImageHeight() : engine_->ImageWidth())
               .arg(transposed ? engine_->ImageWidth() : engine_->ImageHeight()) +
           (found_.Damaged.empty() ? QString() : QString::fromUtf8(kMsgDamagedParts));
  }
  const TTrimRect& r = trimHistory_.back().Rect;
  // Shown 1-based and inclusive, then the width and height.
  return QString::asprintf("%s トリミング範囲 : [%4u,%4u] - [%4u,%4u] (%4u,%4u)",
                           docFileName_.toUtf8().constData(), static_cast<unsigned>(r.Left + 1),
                           static_cast<unsigned>(r.Top + 1), static_cast<unsigned>(r.Right),
                           static_cast<unsigned>(r.Bottom), static_cast<unsigned>(r.Right - r.Left),
                           static_cast<unsigned>(r.Bottom - r.Top));
}

QString TDocument::TitleText() const {
  const QString caption = QString::fromUtf8(kMainCaption);
  if (!opened_) return caption;
  return QFileInfo(docFileName_).fileName() + QStringLiteral("[*] — ") + caption;
}

std::shared_ptr<TDocument::TTrimJob> TDocument::PrepareTrim(const TTrimRect& pictureRect) {
  if (!opened_ || Working()) return nullptr;
  const TOrientedTrim current = CurrentCut();
  auto job = std::make_shared<TTrimJob>();
  job->Engine = engine_;
  job->State = state_;
  // Snapped by the engine, which records where it cut.
  job->Step = StepOf(Within(current, Transposed(pictureRect, current.Tag.Transpose)),
                     settings_.gAllowDropExif, settings_.gKeepThumbnails);
  return job;
}

std::shared_ptr<TDocument::TTrimJob> TDocument::PrepareTurn(std::optional<TOrientation> turn) {
  if (!opened_ || Working()) return nullptr;
  const TOrientedTrim current = CurrentCut();
  if (!turn && current.Tag.IsIdentity()) return nullptr;
  TTurnLoss loss;
  const TOrientedTrim turned = turn ? Turned(current, *turn, engine_->Grid(), loss)
                                    : Upright(current, engine_->Grid(), loss);
  auto job = std::make_shared<TTrimJob>();
  job->Engine = engine_;
  job->State = state_;
  job->Step = StepOf(turned, settings_.gAllowDropExif, settings_.gKeepThumbnails);
  job->Turned = true;
  job->Notice = TurnNotice(current, loss);
  return job;
}

std::shared_ptr<TDocument::TTrimJob> TDocument::PrepareUndo() {
  if (!opened_ || Working() || trimHistory_.empty()) return nullptr;
  auto job = std::make_shared<TTrimJob>();
  job->Engine = engine_;
  job->State = state_;
  const TTrimStep& undone = trimHistory_.back();
  const std::size_t steps = trimHistory_.size();
  const TOrientedTrim before = steps >= 2
                                   ? CutOf(trimHistory_[steps - 2])
                                   : WholePicture(engine_->Grid(), engine_->ExifOrientation());
  if (steps >= 2) {
    // Redone with the Exif and thumbnail choices recorded then, not today's settings.
    job->Step = trimHistory_[steps - 2];
  } else {
    job->ToSource = true;
  }
  // A trim is restored as the selection in the picture before it; a turn has none.
  if (undone.Turn == before.Turn && undone.Tag == before.Tag) {
    job->Restored = Transposed(InOutputOf(before, undone.Rect), before.Tag.Transpose);
  }
  return job;
}

void TDocument::RunTrim(TTrimJob& job) {
  if (job.ToSource) {
    job.Trimmed = true;
    return;
  }
  // Told on the document's thread once the job is back; the output goes to the job alone, so a
  // failure leaves the document's bytes as they were.
  job.Engine->OnMessage = Collector(job.Messages);
  job.Engine->Pictures.KeepThumbnails = job.Step.KeepThumbnails;
  job.Trimmed = static_cast<bool>(
      job.Engine->TrimCut(job.Output, CutOf(job.Step), job.Step.DropExif, &job.Cut));
  job.Found = FoundIn(*job.Engine);
}

void TDocument::TakeFound(const std::shared_ptr<TJpegTrimming>& engine, const TDecodeFound& found) {
  if (engine == engine_) found_ = found;
}

bool TDocument::FinishTrim(TTrimJob& job, std::exception_ptr error) {
  // The rows the trim decoded are the source's, whatever became of the trim.
  if (job.Found) TakeFound(job.Engine, *job.Found);
  // Another file, or the same one opened again, has taken the document's place meanwhile.
  if (job.State != state_) return false;
  Replay(*job.Messages);
  if (error) std::rethrow_exception(error);
  if (!job.Trimmed) return false;
  // What the engine cut, its leading edges on the MCU grid: the next step and the undo start
  // from it.
  trimHistory_.push_back(StepOf(job.Cut, job.Step.DropExif, job.Step.KeepThumbnails));
  if (modifyCount_ >= 0) ++modifyCount_;
  docStream_ = std::make_shared<const TByteStream>(std::move(job.Output));
  NewState();
  try {
    // A turned picture is decoded again; a trimmed one is cut from the pictures held.
    if (job.Turned) {
      pictures_.Clear();
    } else {
      pictures_.KeepTrimmed(Bytes(), LastTrimOffset());
    }
  } catch (...) {
    Close();
    throw;
  }
  Tell({job.Turned ? TDocumentChange::Turned : TDocumentChange::Trimmed, {}, 1, job.Notice});
  return true;
}

std::optional<TTrimRect> TDocument::FinishUndo(TTrimJob& job, std::exception_ptr error) {
  if (job.Found) TakeFound(job.Engine, *job.Found);
  if (job.State != state_) return std::nullopt;
  Replay(*job.Messages);
  if (error) std::rethrow_exception(error);
  if (!job.Trimmed) return std::nullopt;
  trimHistory_.pop_back();
  docStream_ = job.ToSource ? nullptr : std::make_shared<const TByteStream>(std::move(job.Output));
  if (modifyCount_ >= 0) --modifyCount_;
  NewState();
  pictures_.Clear();
  Tell({TDocumentChange::Undone, job.Restored, 1, {}});
  return job.Restored;
}

bool TDocument::Trim(const TTrimRect& pictureRect) { return RunChange(PrepareTrim(pictureRect)); }

bool TDocument::Turn(std::optional<TOrientation> turn) { return RunChange(PrepareTurn(turn)); }

bool TDocument::RunChange(const std::shared_ptr<TTrimJob>& job) {
  if (!job) return false;
  SettleRows();
  std::exception_ptr error;
  try {
    RunTrim(*job);
  } catch (...) {
    error = std::current_exception();
  }
  const bool trimmed = FinishTrim(*job, error);
  DecodeMoreRows();
  return trimmed;
}

std::optional<TTrimRect> TDocument::Undo() {
  const std::shared_ptr<TTrimJob> job = PrepareUndo();
  if (!job) return std::nullopt;
  SettleRows();
  std::exception_ptr error;
  try {
    RunTrim(*job);
  } catch (...) {
    error = std::current_exception();
  }
  const std::optional<TTrimRect> restored = FinishUndo(*job, error);
  DecodeMoreRows();
  return restored;
}

void TDocument::StartTrim(const TTrimRect& rect) {
  StartChange(PrepareTrim(rect),
              [this](TTrimJob& job, std::exception_ptr error) { FinishTrim(job, error); });
}

void TDocument::StartTurn(std::optional<TOrientation> turn) {
  StartChange(PrepareTurn(turn),
              [this](TTrimJob& job, std::exception_ptr error) { FinishTrim(job, error); });
}

void TDocument::StartUndo() {
  StartChange(PrepareUndo(),
              [this](TTrimJob& job, std::exception_ptr error) { FinishUndo(job, error); });
}

void TDocument::StartChange(std::shared_ptr<TTrimJob> job,
                            std::function<void(TTrimJob&, std::exception_ptr)> finish) {
  if (!job) return;
  ++changing_;
  Tell({TDocumentChange::WorkChanged, {}, 1, {}});
  auto run = [this, job, finish = std::move(finish)] {
    work_.Run([job] { RunTrim(*job); },
              [this, job, finish](std::exception_ptr error) {
                --changing_;
                const std::uint64_t state = state_;
                try {
                  finish(*job, error);
                } catch (...) {
                  Report(std::current_exception());
                }
                // The rows below those the change needed follow it.
                DecodeMoreRows();
                if (state_ == state) Tell({TDocumentChange::WorkChanged, {}, 1, {}});
              });
  };
  // The engine decodes rows meanwhile: the change follows as soon as they are back, and decodes
  // on itself as far as it needs.
  if (decodingRows_) {
    afterRows_ = std::move(run);
  } else {
    run();
  }
}

void TDocument::DecodeMoreRows() {
  if (!opened_ || decodingRows_ || changing_ != 0 || CoefficientsDecoded()) return;
  auto job = std::make_shared<TRowsJob>();
  job->Engine = engine_;
  const std::int64_t rowPixels = std::int64_t{engine_->ImageWidth()} * engine_->McuHeight();
  const std::int64_t pieceRows = rowPiecePixels_ / std::max<std::int64_t>(1, rowPixels);
  job->Rows =
      found_.Rows + static_cast<int>(std::clamp<std::int64_t>(pieceRows, 1, found_.McuRows));
  decodingRows_ = true;
  work_.Run(
      [job] {
        job->Engine->OnMessage = Collector(job->Messages);
        job->Decoded = static_cast<bool>(job->Engine->DecodeRows(job->Rows));
        job->Found = FoundIn(*job->Engine);
      },
      [this, job](std::exception_ptr error) {
        decodingRows_ = false;
        // A trim that needs the rows that failed tells why, in its words.
        const bool failed = !job->Decoded || error != nullptr;
        if (job->Engine == engine_) {
          found_ = job->Found;
          found_.Failed = failed;
        }
        // The engine is free: the change waiting for it runs, else the next rows are decoded.
        if (afterRows_) {
          const std::function<void()> change = std::move(afterRows_);
          afterRows_ = nullptr;
          change();
        } else {
          DecodeMoreRows();
        }
        // The change may have closed the document, or work run here opened another.
        if (job->Engine != engine_ || failed) return;
        Replay(*job->Messages);
        Tell({TDocumentChange::Decoded, {}, 1, {}});
      });
}

void TDocument::SettleRows() {
  ++changing_;
  while (decodingRows_) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  --changing_;
}

void TDocument::Replay(const TMessages& messages) const {
  if (!onMessage_) return;
  for (const auto& [text, severity] : messages) onMessage_(text, severity);
}

void TDocument::Report(std::exception_ptr error) const {
  if (failureNotice_) failureNotice_(error);
}

void TDocument::NewState() {
  ++state_;
  decoding_.clear();
  png_ = {};
}

bool TDocument::SaveFile() {
  if (!opened_) return false;
  if (prompts_.Ask(QString::fromUtf8(kMsgSaveOver), false) != TAnswer::Yes) return false;
  return SaveDocument(docFileName_);
}

bool TDocument::SaveDocument(QString path) {
  if (!opened_) return false;
  if (path.isEmpty()) {
    if (settings_.gSaveFolder && !settings_.gSaveFolderName.isEmpty()) {
      saveDialogFolder_ = settings_.gSaveFolderName;
    }
    const QString chosen = prompts_.RunSaveDialog(saveDialogFolder_, saveDialogFileName_);
    if (chosen.isEmpty()) return false;
    PresetSaveDialog(chosen);
    // Recorded before the overwrite question, so declining it still remembers the folder.
    if (settings_.gSaveFolder) settings_.gSaveFolderName = saveDialogFolder_;
    path = chosen;
    if (QFileInfo::exists(path) &&
        prompts_.Ask(QString::fromUtf8(kMsgFileExists), false) != TAnswer::Yes) {
      return false;
    }
  }
  WriteFileAtomically(path, Bytes());
  ForgetDesktopThumbnails(path);
  docFileName_ = path;
  SetSourceTimesOn(path);
  modifyCount_ = 0;
  Tell({TDocumentChange::Saved, {}, 1, {}});
  return true;
}

void TDocument::SetSourceTimesOn(const QString& path) const {
  // A creation time cannot be set on Linux; gKeepTimeStamp_Create is kept for the stored
  // settings and otherwise has nothing to act on. Failures are ignored: the file is saved.
  if (settings_.gKeepTimeStamp_Write)
    SetLastWriteTime(path, sourceTimes_.LastWriteTime, sourceTimes_.LastWriteNanoseconds);
}

bool TDocument::CloseQuery() {
  while (modifyCount_ != 0) {
    switch (prompts_.Ask(QString::fromUtf8(kMsgModified), true)) {
      case TAnswer::Yes:
        if (SaveDocument({})) return true;
        break;
      case TAnswer::No:
        return true;
      case TAnswer::Cancel:
        return false;
    }
  }
  return true;
}

void TDocument::Close() {
  const bool wasOpen = opened_;
  Forget();
  if (wasOpen) Tell({TDocumentChange::Closed, {}, 1, {}});
}

void TDocument::Tell(const TDocumentChange& change) const {
  if (changeNotice_) changeNotice_(change);
}

void TDocument::Forget() {
  opened_ = false;
  trimHistory_.clear();
  docFileName_.clear();
  docStream_ = nullptr;
  modifyCount_ = 0;
  NewState();
  pictures_.Clear();
  found_ = {};
  // The file's bytes go with their engine, once the work still using them lets go too.
  engine_ = std::make_shared<TJpegTrimming>();
}

std::unique_ptr<QMimeData> TDocument::ClipboardData() {
  if (!HasDocument()) return nullptr;
  const std::span<const std::uint8_t> bytes = Bytes();
  const QByteArray jpeg(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<qsizetype>(bytes.size()));
  const TOrientation shown = ShownOrientation();
  if (!png_.valid() || pngState_ != state_) {
    // Made once for this state, on the side: a large photo takes seconds to compress, and a
    // paste of the JPEG should not wait for it. The job holds its own copy of the bytes.
    auto made = std::make_shared<std::promise<QByteArray>>();
    png_ = made->get_future().share();
    pngState_ = state_;
    work_.Run([made, jpeg, shown] { made->set_value(PngOf(jpeg, shown)); },
              [](std::exception_ptr) {});
  }
  return std::make_unique<TClipboardPicture>(jpeg, png_);
}

QPoint TDocument::LastTrimOffset() const {
  const std::size_t steps = trimHistory_.size();
  const TOrientedTrim before = steps >= 2
                                   ? CutOf(trimHistory_[steps - 2])
                                   : WholePicture(engine_->Grid(), engine_->ExifOrientation());
  const TTrimRect at = InOutputOf(before, trimHistory_.back().Rect);
  return {at.Left, at.Top};
}

void TDocument::PresetSaveDialog(const QString& path) {
  saveDialogFolder_ = FolderOf(path);
  saveDialogFileName_ = QFileInfo(path).fileName();
}

}  // namespace tarvo
