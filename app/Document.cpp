#include "Document.h"

#include <QFileInfo>
#include <algorithm>

#include "JpegTrimming.h"
#include "Messages.h"
#include "ShownWords.h"
#include "UprightPicture.h"
#include "WindowTexts.h"

namespace tarvo {
namespace {

bool SameCut(const TOrientedTrim& a, const TOrientedTrim& b) {
  return a.Source == b.Source && a.Turn == b.Turn && a.Tag == b.Tag;
}

TTrimStep StepOf(const TOrientedTrim& cut, bool dropExif, bool keepThumbnails,
                 std::vector<TWipe> wipes) {
  return {cut.Source, dropExif, keepThumbnails, cut.Turn, cut.Tag, std::move(wipes)};
}

// Between the pictures of the stored pixels and of the selection, one transposed where the
// orientation transposes: the same exchange either way.
TTrimRect Transposed(const TTrimRect& rect, bool transpose) {
  return transpose ? TTrimRect{rect.Top, rect.Left, rect.Bottom, rect.Right} : rect;
}

}  // namespace

TDocument::TDocument(TAppSettings& settings, TDocumentPrompts& prompts, TMessageProc onMessage,
                     TDocumentWork work)
    : settings_(settings),
      prompts_(prompts),
      onMessage_(std::move(onMessage)),
      decode_(std::move(work.Decode)),
      rowPiecePixels_(work.RowPiecePixels),
      engine_(std::make_shared<TJpegTrimming>()),
      pngMaker_([this] {
        Tell({TDocumentChange::WorkChanged, {}, 1, {}});
      }),
      queue_(work.Threads) {
  queue_.SetAhead([this] { return DecodeAhead(); });
  queue_.SetWorkNotice([this] { Tell({TDocumentChange::WorkChanged, {}, 1, {}}); });
}

TDocument::~TDocument() = default;

void TDocument::StartOpen(const QString& path, int reduction) {
  const std::uint64_t id = ++*lastOpen_;
  queue_.Add(TWorkQueue::TKind::Open, [this, path, reduction, id]() -> std::optional<TWork> {
    if (id != *lastOpen_) return std::nullopt;
    return BeginOpen(path, reduction);
  });
}

std::optional<TWork> TDocument::BeginOpen(const QString& path, int reduction) {
  auto job = std::make_shared<TOpenJob>();
  job->Path = path;
  job->Reduction = reduction;
  job->Decode = decode_;
  job->Id = *lastOpen_;
  job->LastOpen = lastOpen_;
  job->Engine = std::make_shared<TJpegTrimming>();
  job->Engine->Pictures.Maker = &pictureMaker_;
  return TWork{[job] { job->Run(); },
               [this, job](std::exception_ptr error) {
                 try {
                   FinishOpen(*job, error);
                 } catch (...) {
                   Report(std::current_exception());
                 }
                 TellPending();
               }};
}

void TDocument::FinishOpen(TOpenJob& job, std::exception_ptr error) {
  // Only the last open asked for counts; the user has chosen another file since this one.
  if (job.Superseded()) return;
  if (error || !job.Analysed) {
    // The file is not taken: what reading it found is told with the refusal, of it as stored.
    TReadingFindings found;
    Replay(*job.Messages, found, {});
    if (!found.Empty()) refusals_.push_back(found.Text({}));
    if (error) std::rethrow_exception(error);
    return;
  }
  Forget();
  engine_ = std::move(job.Engine);
  source_ = job.Facts;
  sourceBytes_ = {engine_, job.Bytes};
  pictures_.Hold(std::move(job.Picture));
  sourceTimes_ = job.Times;
  PresetSaveDialog(job.Path);
  docFileName_ = job.Path;
  shownReduction_ = job.Reduction;
  opened_ = true;
  Replay(*job.Messages);
  // The picture shows: its coefficients follow on the side, ready for the first trim.
  Tell({TDocumentChange::Opened, {}, 1, {}});
}

TSharedBytes TDocument::SharedBytes() const {
  if (docStream_) return {docStream_, docStream_->Bytes()};
  return sourceBytes_;
}

const TPicture* TDocument::PictureOrDecode(int reduction) {
  shownReduction_ = reduction;
  if (!opened_) return nullptr;
  const TOrientation shown = ShownOrientation();
  if (pictures_.Holds(reduction)) return &pictures_.At(Bytes(), reduction, shown);
  if (!decoding_.insert(reduction).second) return nullptr;
  queue_.Add(TWorkQueue::TKind::Beside, [this, reduction, shown] {
    struct TDecodeJob {
      TSharedBytes Source;
      TPicture Picture;
    };
    auto job = std::make_shared<TDecodeJob>();
    job->Source = SharedBytes();
    const std::uint64_t state = state_;
    return TWork{[job, reduction, decode = decode_, shown] {
                   job->Picture = UprightPicture(decode(job->Source.Bytes, reduction), shown);
                 },
                 [this, job, state, reduction](std::exception_ptr error) {
                   // A trim, an undo or another file since: the picture shows nothing of the
                   // document.
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
                 }};
  });
  // Work run on this thread is over already.
  return opened_ && pictures_.Holds(reduction) ? &pictures_.At(Bytes(), reduction, shown) : nullptr;
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
  return cut.Turn.Transpose != cut.Tag.Transpose ? source_.Grid.McuHeight : source_.Grid.McuWidth;
}

int TDocument::McuHeight() const {
  const TOrientedTrim cut = CurrentCut();
  return cut.Turn.Transpose != cut.Tag.Transpose ? source_.Grid.McuWidth : source_.Grid.McuHeight;
}

TOrientation TDocument::ShownOrientation() const { return CurrentCut().Tag; }

TOrientedTrim TDocument::CurrentCut() const { return CutBefore(trimHistory_.size() + 1); }

// The cut that the first steps - 1 steps of the history made.
TOrientedTrim TDocument::CutBefore(std::size_t steps) const {
  if (steps < 2) return WholePicture(source_.Grid, source_.Exif);
  return CutOf(trimHistory_[steps - 2]);
}

QSize TDocument::SelectableSize() const {
  const TOrientedTrim cut = CurrentCut();
  std::int32_t storedHeight = cut.Height();
  // A trim's or turn's result lies inside the rows the engine let it take.
  if (trimHistory_.empty()) storedHeight = std::min(storedHeight, source_.TrimmableHeight);
  return cut.Tag.Transpose ? QSize(storedHeight, cut.Width()) : QSize(cut.Width(), storedHeight);
}

std::vector<TTrimRect> TDocument::DamagedRegions() const {
  std::vector<TTrimRect> regions;
  if (!opened_ || !trimHistory_.empty()) return regions;
  for (const TTrimRect& region : source_.Damaged) {
    regions.push_back(Transposed(region, source_.Exif.Transpose));
  }
  return regions;
}

std::optional<TTrimRect> TDocument::IntactRect() const {
  if (!opened_ || !trimHistory_.empty() || source_.Damaged.empty()) return std::nullopt;
  // Damaged regions span whole MCU rows of the stored picture, or lie within one: the rows
  // between them are intact.
  std::vector<TTrimRect> damaged = source_.Damaged;
  std::sort(damaged.begin(), damaged.end(),
            [](const TTrimRect& a, const TTrimRect& b) { return a.Top < b.Top; });
  const int bottom = source_.TrimmableHeight;
  TTrimRect best{0, 0, source_.Grid.Width, 0};
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
  return Transposed(best, source_.Exif.Transpose);
}

QString TDocument::StatusText() const {
  if (!opened_) return {};
  if (trimHistory_.empty()) {
    // The size as shown.
    const bool transposed = source_.Exif.Transpose;
    return QStringLiteral("%1 (%2x%3)")
               .arg(docFileName_)
               .arg(transposed ? source_.Grid.Height : source_.Grid.Width)
               .arg(transposed ? source_.Grid.Width : source_.Grid.Height) +
           (source_.Damaged.empty() ? QString() : QString::fromUtf8(kMsgDamagedParts));
  }
  // Where the cut lies in the opened picture, turned as the document now shows it.
  const TTrimRect r = ShownSource().Map(CurrentCut().Source);
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

std::shared_ptr<TChangeJob> TDocument::PrepareTrim(const TTrimRect& pictureRect) {
  const TOrientedTrim current = CurrentCut();
  auto job = std::make_shared<TChangeJob>();
  // Snapped by the engine, which records where it cut.
  job->Step = StepOf(Within(current, Transposed(pictureRect, current.Tag.Transpose)),
                     settings_.gAllowDropExif, settings_.gKeepThumbnails, CurrentWipes());
  return job;
}

std::shared_ptr<TChangeJob> TDocument::PrepareWipe(const TTrimRect& pictureRect, EWipeFill fill) {
  const TOrientedTrim current = CurrentCut();
  // Not grown here: the engine grows it to the source's MCU grid, which the picture shown shares.
  const TTrimRect region = Within(current, Transposed(pictureRect, current.Tag.Transpose)).Source;
  if (region.Left >= region.Right || region.Top >= region.Bottom) return nullptr;
  auto job = std::make_shared<TChangeJob>();
  job->Step = StepOf(current, settings_.gAllowDropExif, settings_.gKeepThumbnails, CurrentWipes());
  job->Step.Wipes.push_back({region, fill});
  MendShown(*job, region);
  if (fill == EWipeFill::kMosaic) job->Notice = QString::fromUtf8(kMsgMosaicReversible);
  return job;
}

std::shared_ptr<TChangeJob> TDocument::PrepareTurn(std::optional<TOrientation> turn) {
  const TOrientedTrim current = CurrentCut();
  if (!turn && current.Tag.IsIdentity()) return nullptr;
  TTurnLoss loss;
  const TOrientedTrim turned =
      turn ? Turned(current, *turn, source_.Grid, loss) : Upright(current, source_.Grid, loss);
  auto job = std::make_shared<TChangeJob>();
  job->Step = StepOf(turned, settings_.gAllowDropExif, settings_.gKeepThumbnails, CurrentWipes());
  job->Notice = TurnNotice(current, turn, loss);
  return job;
}

std::shared_ptr<TChangeJob> TDocument::PrepareUndo() {
  if (trimHistory_.empty()) return nullptr;
  auto job = std::make_shared<TChangeJob>();
  const std::size_t steps = trimHistory_.size();
  const TTrimStep& undone = trimHistory_.back();
  const TOrientedTrim before = CutBefore(steps);
  if (steps >= 2) {
    // Redone with the Exif and thumbnail choices recorded then, not today's settings.
    job->Step = trimHistory_[steps - 2];
  } else {
    // Nothing is written: the step says only what the opened file shows.
    job->Step = StepOf(before, false, false, {});
    job->ToSource = true;
  }
  // A trim or a wipe is restored as the selection in the picture before it; a turn has none.
  // The picture shown is mended where a wipe that kept the cut is taken back.
  if (undone.Wipes.size() > job->Step.Wipes.size()) {
    job->Restored =
        Transposed(InOutputOf(before, undone.Wipes.back().Region), before.Tag.Transpose);
    if (SameCut(CutOf(undone), before)) MendShown(*job, undone.Wipes.back().Region);
  } else if (undone.Turn == before.Turn && undone.Tag == before.Tag) {
    job->Restored = Transposed(InOutputOf(before, undone.Rect), before.Tag.Transpose);
  }
  return job;
}

std::shared_ptr<TChangeJob> TDocument::PrepareRedo() {
  if (redoSteps_.empty()) return nullptr;
  auto job = std::make_shared<TChangeJob>();
  // The step as it was done, with the choices recorded then.
  job->Step = redoSteps_.back();
  // Only a wipe adds a region; one that keeps the cut mends the picture shown as it did.
  if (job->Step.Wipes.size() > CurrentWipes().size() && SameCut(CutOf(job->Step), CurrentCut())) {
    MendShown(*job, job->Step.Wipes.back().Region);
  }
  return job;
}

void TDocument::MendShown(TChangeJob& job, const TTrimRect& region) const {
  // The picture shown only: a full-size one held beside a reduced view would be copied for
  // nothing.
  if (!pictures_.Holds(shownReduction_)) return;
  job.Mended = region;
  job.Pictures = pictures_;
  job.Pictures->KeepOnly(shownReduction_);
}

void TDocument::ShowPatch(std::uint64_t state, TPicturePatch patch) {
  // The picture shown is no longer the one the patch mends.
  if (state != state_) return;
  patch_ = std::move(patch);
  Tell({TDocumentChange::Patched, {}, patch_->Reduction, {}});
}

void TDocument::StartTrim(const TTrimRect& rect) {
  StartChange(TDocumentChange::Trimmed, [this, rect] { return PrepareTrim(rect); });
}

void TDocument::StartTurn(std::optional<TOrientation> turn) {
  StartChange(TDocumentChange::Turned, [this, turn] { return PrepareTurn(turn); });
}

void TDocument::StartWipe(const TTrimRect& rect, EWipeFill fill) {
  StartChange(TDocumentChange::Wiped, [this, rect, fill] { return PrepareWipe(rect, fill); });
}

void TDocument::StartUndo() {
  StartChange(TDocumentChange::Undone, [this] { return PrepareUndo(); });
}

void TDocument::StartRedo() {
  StartChange(TDocumentChange::Redone, [this] { return PrepareRedo(); });
}

void TDocument::RunInTurn(std::function<void()> command) {
  queue_.Add(TWorkQueue::TKind::Command, [command = std::move(command)]() -> std::optional<TWork> {
    command();
    return std::nullopt;
  });
}

void TDocument::StartChange(TDocumentChange::TKind told,
                            std::function<std::shared_ptr<TChangeJob>()> prepare) {
  queue_.Add(TWorkQueue::TKind::Change, [this, told, prepare]() -> std::optional<TWork> {
    if (!opened_) return std::nullopt;
    const std::shared_ptr<TChangeJob> job = prepare();
    if (!job) return std::nullopt;
    job->Engine = engine_;
    job->State = state_;
    job->OnPatch = [this, state = state_](const TPicturePatch& patch) {
      queue_.Post([this, state, patch] { ShowPatch(state, patch); });
    };
    turning_ = job->Step.Turn != CurrentCut().Turn || job->Step.Tag != CurrentCut().Tag;
    wiping_ = job->Step.Wipes != CurrentWipes();
    return TWork{[job] { job->Run(); },
                 [this, told, job](std::exception_ptr error) {
                   try {
                     FinishChange(told, *job, error);
                   } catch (...) {
                     Report(std::current_exception());
                   }
                   TellPending();
                 }};
  });
}

void TDocument::FinishChange(TDocumentChange::TKind told, TChangeJob& job,
                             std::exception_ptr error) {
  // The rows the change decoded are the source's, whatever became of it.
  if (job.Found && job.Engine == engine_) source_ = *job.Found;
  // Another file, or the same one opened again, has taken the document's place meanwhile.
  if (job.State != state_) return;
  Replay(*job.Messages);
  if (error || !job.Trimmed) {
    // The patch shown ahead of the step goes with it.
    if (std::exchange(patch_, std::nullopt)) Tell({TDocumentChange::Patched, {}, 1, {}});
    if (error) std::rethrow_exception(error);
    return;
  }
  if (told == TDocumentChange::Undone) {
    redoSteps_.push_back(trimHistory_.back());
    trimHistory_.pop_back();
    if (modifyCount_ >= 0) --modifyCount_;
  } else {
    // What the engine cut, its leading edges on the MCU grid: the next step and the undo start
    // from it.
    trimHistory_.push_back(
        StepOf(job.Cut, job.Step.DropExif, job.Step.KeepThumbnails, job.Step.Wipes));
    if (told == TDocumentChange::Redone) {
      redoSteps_.pop_back();
    } else {
      redoSteps_.clear();
    }
    if (modifyCount_ >= 0) ++modifyCount_;
  }
  // The state before is let go off this thread once the window shows the new one: giving a
  // full-size picture back to the system takes milliseconds.
  TPictureCache picturesBefore = pictures_;
  std::shared_ptr<const TByteStream> bytesBefore = std::move(docStream_);
  docStream_ = job.ToSource ? nullptr : std::make_shared<const TByteStream>(std::move(job.Output));
  NewState();
  try {
    // A trimmed picture is cut from the pictures held, a wiped one mended, any other decoded.
    if (told == TDocumentChange::Trimmed) {
      pictures_.KeepTrimmed(Bytes(), LastTrimOffset(), ShownOrientation());
    } else if (job.Pictures) {
      pictures_ = std::move(*job.Pictures);
    } else {
      pictures_.Clear();
    }
  } catch (...) {
    Close();
    throw;
  }
  Tell({told, job.Restored, 1, job.Notice});
  LetGoBeside(std::move(picturesBefore), std::move(bytesBefore));
}

void TDocument::LetGoBeside(TPictureCache pictures, std::shared_ptr<const TByteStream> bytes) {
  queue_.Add(TWorkQueue::TKind::Beside, [&pictures, &bytes]() -> std::optional<TWork> {
    return TWork{[pictures = std::move(pictures), bytes = std::move(bytes)]() mutable {
                   pictures.Clear();
                   bytes.reset();
                 },
                 [](std::exception_ptr) {}};
  });
}

std::optional<TWork> TDocument::DecodeAhead() {
  if (!opened_ || source_.Decoded()) return std::nullopt;
  auto job = std::make_shared<TRowsJob>();
  job->Engine = engine_;
  const std::int64_t rowPixels = std::int64_t{source_.Grid.Width} * source_.Grid.McuHeight;
  const std::int64_t pieceRows = rowPiecePixels_ / std::max<std::int64_t>(1, rowPixels);
  job->Rows =
      source_.Rows + static_cast<int>(std::clamp<std::int64_t>(pieceRows, 1, source_.McuRows));
  return TWork{[job] { job->Run(); },
               [this, job](std::exception_ptr error) {
                 // The document closed, or another file opened, meanwhile.
                 if (job->Engine != engine_) return;
                 source_ = job->Found;
                 // A trim that needs the rows that failed tells why, in its words.
                 source_.Failed = !job->Decoded || error != nullptr;
                 // The engine is free: what waits for it begins before the rows are told.
                 queue_.Pump();
                 if (job->Engine != engine_) return;
                 if (!source_.Failed) {
                   Replay(*job->Messages);
                   Tell({TDocumentChange::Decoded, {}, 1, {}});
                 }
                 TellPending();
               }};
}

void TDocument::Replay(const TMessages& messages) {
  if (opened_) Replay(messages, findings_, ShownSource());
}

void TDocument::Replay(const TMessages& messages, TReadingFindings& findings,
                       const TShownPicture& shown) {
  for (const TEngineReport& report : messages) {
    if (report.Warning) {
      if (&findings != &findings_ || !findingsTold_) findings.Add(*report.Warning);
    } else {
      refusals_.push_back(FailureText(report.Failure, report.TrimWording, shown));
    }
  }
}

void TDocument::TellPending() {
  const bool readingOver = opened_ && CoefficientsDecoded();
  const bool found = readingOver && !findings_.Empty();
  if (refusals_.empty() && !found) {
    if (readingOver) findingsTold_ = true;
    return;
  }
  std::vector<QString> texts = std::move(refusals_);
  refusals_.clear();
  if (found) texts.push_back(findings_.Text(ShownSource()));
  findings_ = {};
  if (readingOver) findingsTold_ = true;
  // A message box holds the window's attention: the commands it shows stand as they now are.
  Tell({TDocumentChange::WorkChanged, {}, 1, {}});
  if (!onMessage_) return;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const bool finding = found && i + 1 == texts.size();
    onMessage_(texts[i].toStdString(), finding ? kSeverityWarning : kSeverityError);
  }
}

TShownPicture TDocument::ShownSource() const {
  const TOrientedTrim cut = CurrentCut();
  return {cut.Turn.Then(cut.Tag), source_.Grid.Width, source_.Grid.Height};
}

void TDocument::Report(std::exception_ptr error) const {
  if (failureNotice_) failureNotice_(error);
}

void TDocument::NewState() {
  ++state_;
  decoding_.clear();
  patch_.reset();
}

void TDocument::Tell(const TDocumentChange& change) const {
  if (changeNotice_) changeNotice_(change);
}

void TDocument::Forget() {
  opened_ = false;
  trimHistory_.clear();
  redoSteps_.clear();
  docFileName_.clear();
  docStream_ = nullptr;
  modifyCount_ = 0;
  NewState();
  pictures_.Clear();
  source_ = {};
  findings_ = {};
  findingsTold_ = false;
  // The file's bytes go with their engine, once the work still using them lets go too.
  sourceBytes_ = {};
  engine_ = std::make_shared<TJpegTrimming>();
}

QPoint TDocument::LastTrimOffset() const {
  const TTrimRect at = InOutputOf(CutBefore(trimHistory_.size()), trimHistory_.back().Rect);
  return {at.Left, at.Top};
}

}  // namespace tarvo
