#include "MainController.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <exception>
#include <memory>
#include <optional>

#include "PictureCache.h"
#include "SelectionEvents.h"
#include "SelectionFrame.h"
#include "TrimModeSelector.h"
#include "WindowTexts.h"

namespace tarvo {

TMainController::TMainController(TMainView& view, TDocumentPrompts& prompts, TMessageProc onMessage,
                                 TDocumentWork work)
    : view_(view),
      document_(settings_, prompts, std::move(onMessage), std::move(work)),
      selection_(*this) {
  document_.SetChangeNotice([this](const TDocumentChange& change) { SyncToDocument(change); });
  document_.SetFailureNotice([this](std::exception_ptr error) { ShowFailure(error); });
  progressDelay_.setSingleShot(true);
  progressDelay_.setInterval(kProgressDelayMs);
  QObject::connect(&progressDelay_, &QTimer::timeout, [this] { SyncStatusText(); });
  SyncCommandStates();
}

void TMainController::OpenDocument(const QString& path) {
  // A file chosen while another opens takes its place; one chosen while the document changes
  // waits for the change, as it is what the user would have asked about.
  // Fitted to the window, the size is not known until the file is read: the smallest picture
  // shows first, then the one the rate that fits asks for.
  document_.StartOpen(
      path, view_.ViewRateIndex() == kViewRateFit ? kPictureReductions[3] : RateReduction());
}

void TMainController::OpenFile() {
  WhenIdle([this] {
    // Unsaved trims are asked about before another file can take their place.
    if (!document_.CloseQuery()) return;
    const QString chosen = view_.ChooseFileToOpen();
    if (!chosen.isEmpty()) OpenDocument(chosen);
  });
}

void TMainController::OpenDropped(const QString& path) {
  // The file dropped last is the one wanted: an open still under way is not waited for.
  document_.StopOpens();
  WhenIdle([this, path] {
    if (document_.CloseQuery()) OpenDocument(path);
  });
}

void TMainController::SaveFile() {
  WhenIdle([this] { document_.SaveFile(); });
}

void TMainController::SaveAsFile() {
  WhenIdle([this] { document_.SaveDocument({}); });
}

void TMainController::CloseFile() {
  WhenIdle([this] {
    if (document_.CloseQuery()) document_.Close();
  });
}

void TMainController::WhenIdle(std::function<void()> command) {
  document_.RunInTurn([this, command = std::move(command)] {
    try {
      command();
    } catch (...) {
      ShowFailure(std::current_exception());
    }
  });
}

void TMainController::WaitForWork() {
  do {
    document_.WaitForWork();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  } while (Working());
}

bool TMainController::CloseQuery() {
  // The document cannot be saved or let go halfway through a change, nor before the commands
  // given meanwhile have run; the window waits for them.
  if (document_.Working()) {
    closePending_ = true;
    return false;
  }
  return document_.CloseQuery();
}

void TMainController::Trim() {
  WhenIdle([this] {
    if (selection_.SelectionState() == selNone) return;
    document_.StartTrim(selection_.SelectionRect());
  });
}

void TMainController::Undo() {
  WhenIdle([this] { document_.StartUndo(); });
}

void TMainController::Redo() {
  WhenIdle([this] { document_.StartRedo(); });
}

void TMainController::Turn(TOrientation turn) {
  WhenIdle([this, turn] { document_.StartTurn(turn); });
}

void TMainController::TurnUpright() {
  WhenIdle([this] { document_.StartTurn(std::nullopt); });
}

void TMainController::Wipe(EWipeFill fill) {
  settings_.gWipeFill = static_cast<std::int32_t>(fill);
  WhenIdle([this, fill] {
    if (selection_.SelectionState() == selNone) return;
    document_.StartWipe(selection_.SelectionRect(), fill);
  });
}

void TMainController::ShowWipeRegion(bool shown) {
  const std::optional<TTrimRect> before = wipeRegion_;
  wipeRegion_.reset();
  if (shown && document_.HasDocument() && selection_.SelectionState() != selNone) {
    const QSize selectable = SelectableSize();
    const TTrimRect grown =
        GrownToMcus(selection_.SelectionRect(), {viewMapping_.McuWidth(), viewMapping_.McuHeight(),
                                                 selectable.width(), selectable.height()});
    // The last MCU of a row or column may reach past the picture, which the frame does not.
    wipeRegion_ = TTrimRect{grown.Left, grown.Top, std::min(grown.Right, selectable.width()),
                            std::min(grown.Bottom, selectable.height())};
  }
  if (before == wipeRegion_) return;
  if (before) view_.RepaintFrame(selection_.ToViewRect(mirror_.Rect(*before)));
  if (selection_.SelectionState() != selNone) {
    DrawSelection(wipeRegion_.value_or(selection_.SelectionRect()));
  }
}

void TMainController::AdjustRect() {
  WhenIdle([this] {
    if (selection_.SelectionState() == selNone) return;
    if (!view_.ExplainAdjustRect(settings_.ShowExplanation_AdjustRect)) return;
    selection_.AdjustToMcus();
  });
}

void TMainController::Copy() {
  WhenIdle([this] {
    if (std::unique_ptr<QMimeData> data = document_.ClipboardData()) {
      QGuiApplication::clipboard()->setMimeData(data.release());
      SyncStatusText();
    }
  });
}

void TMainController::SyncToDocument(const TDocumentChange& change) {
  const TDocumentChange::TKind kind = change.Kind;
  if (kind == TDocumentChange::WorkChanged) {
    SyncCommandStates();
    return;
  }
  if (kind == TDocumentChange::Decoded) {
    SyncDecoded();
    SyncStatusText();
    return;
  }
  if (kind == TDocumentChange::Patched) {
    ShowWipePatch();
    return;
  }
  if (kind == TDocumentChange::PictureReady) {
    // A picture for a rate the user has since left stays held for a return to it.
    if (change.Reduction == RateReduction()) ShowDocumentPicture();
    SyncCommandStates();
    return;
  }
  const bool newPicture = kind == TDocumentChange::Opened || kind == TDocumentChange::Trimmed ||
                          kind == TDocumentChange::Turned || kind == TDocumentChange::Wiped ||
                          kind == TDocumentChange::Redone;
  if (newPicture || kind == TDocumentChange::Closed) {
    wipeRegion_.reset();
    selection_.Clear();
    view_.SetInformationText(change.Notice);
  }
  if (!document_.HasDocument()) {
    view_.ShowPicture({}, 1, 1);
    view_.ShowDamage({});
  } else if (kind != TDocumentChange::Saved) {
    ShowDocumentPicture();
  }
  // Showing the picture may have found its bytes undecodable and closed the document, which has
  // brought the window up to that already.
  if (!document_.HasDocument() && kind != TDocumentChange::Closed) return;
  if (kind == TDocumentChange::Undone) {
    // The selection that made the undone trim or wipe, ready to be changed and used again.
    wipeRegion_.reset();
    selection_.Clear();
    view_.SetInformationText({});
    if (change.Restored) {
      selection_.Restore(*change.Restored);
      view_.SetInformationText(
          QString::fromStdString(SelectionInformation(mirror_.Rect(*change.Restored))));
    }
  }
  view_.SetTitle(document_.TitleText(), document_.Modified());
  if (newPicture) ApplyTrimMode();
  SyncCommandStates();
}

void TMainController::ApplyViewRate() {
  if (document_.HasDocument()) ShowDocumentPicture();
}

void TMainController::ViewAreaResized() {
  if (document_.HasDocument() && ShownRateIndex() != shownRateIndex_) ShowDocumentPicture();
}

int TMainController::ShownRateIndex() const {
  const int index = view_.ViewRateIndex();
  if (index != kViewRateFit) return index;
  const QSize shown = ShownSize();
  if (shown.isEmpty()) return kViewRateOneToOne;
  const QSize area = view_.ViewAreaSize();
  return FittingRateIndex(shown.width(), shown.height(), area.width(), area.height());
}

QSize TMainController::ShownSize() const {
  if (!document_.HasDocument()) return {};
  const QSize frame = document_.FrameSize();
  return document_.ShownOrientation().Transpose ? frame.transposed() : frame;
}

void TMainController::ShowDocumentPicture() {
  const int reduction = RateReduction();
  const TPicture* picture = document_.PictureOrDecode(reduction);
  if (!document_.HasDocument()) return;
  if (picture == nullptr) picture = document_.Preview(reduction);
  // Held turned upright, as shown; the selection's picture is the stored one transposed, and the
  // mirrors between them are undone at the screen's edge. Without any picture held the view keeps
  // the frame's size and shows nothing until one is.
  const TOrientation orientation = document_.ShownOrientation();
  const TPicture shown =
      picture != nullptr ? *picture : UprightPicture({{}, document_.FrameSize(), 1}, orientation);
  const int rateIndex = ShownRateIndex();
  shownRateIndex_ = rateIndex;
  const TViewRate rate = ViewRateAt(rateIndex);
  view_.ShowPicture(shown, rate.Num, rate.Den);
  shownReduction_ = picture != nullptr ? picture->Reduction : 0;
  if (document_.Patch() != nullptr) ShowWipePatch();
  viewMapping_.SetPicture(shown.Frame.width(), shown.Frame.height(), document_.McuWidth(),
                          document_.McuHeight());
  mirror_ = TUprightMirror(orientation, shown.Frame.width(), shown.Frame.height());
  viewMapping_.SetRateIndex(rateIndex);
  SyncDecoded();
  view_.SetViewSize(viewMapping_.ViewWidth(), viewMapping_.ViewHeight());
}

void TMainController::ShowWipePatch() {
  const TPicturePatch* patch = document_.Patch();
  view_.ShowPatch(patch != nullptr && patch->Reduction == shownReduction_ ? *patch
                                                                          : TPicturePatch{});
}

void TMainController::SyncDecoded() {
  // The selection keeps its image pixels; the repaint draws its frame at the new rate. A file
  // found cut off lets it reach no further down than the rows that arrived.
  const TViewMapping& v = viewMapping_;
  const QSize selectable = SelectableSize();
  selection_.SetGrid({selectable.width(), selectable.height(), v.McuWidth(), v.McuHeight(),
                      v.ViewScaleNum(), v.ViewScaleDen()});
  std::vector<TTrimRect> shown;
  for (const TTrimRect& region : document_.DamagedRegions()) shown.push_back(mirror_.Rect(region));
  view_.ShowDamage(shown);
}

void TMainController::ApplyTrimMode() {
  if (!document_.HasDocument()) return;
  const QSize selectable = SelectableSize();
  ChangeTrimMode(selection_, view_.TrimModeIndex(), trimModes_,
                 {selectable.width(), selectable.height()});
}

QSize TMainController::SelectableSize() const {
  return document_.SelectableSize().boundedTo(
      QSize(viewMapping_.PictureWidth(), viewMapping_.PictureHeight()));
}

void TMainController::SyncCommandStates() {
  commandStates_ = CommandStatesFor(
      {.HasDocument = document_.HasDocument(),
       .HasTrims = !document_.TrimHistory().empty(),
       .HasRedo = !document_.RedoSteps().empty(),
       .HasSelection = selection_.SelectionState() != selNone,
       .ShownTurned = document_.HasDocument() && !document_.ShownOrientation().IsIdentity(),
       .Working = document_.Working()});
  view_.SetCommandStates(commandStates_);
  if (!Working()) {
    progressDelay_.stop();
  } else if (!progressDelay_.isActive()) {
    progressDelay_.start();
  }
  SyncStatusText();
  if (document_.Working()) return;
  if (closePending_) {
    closePending_ = false;
    view_.CloseAgain();
  }
}

void TMainController::SyncStatusText() {
  if (!Working() && document_.MakingPng()) {
    view_.SetStatusText(QString::fromUtf8(kMsgMakingPng));
  } else if (!Working() || progressDelay_.isActive()) {
    view_.SetStatusText(document_.StatusText());
  } else {
    view_.SetStatusText(QString::fromUtf8(!document_.Changing() ? kMsgReadingPicture
                                          : document_.Turning() ? kMsgTurning
                                          : document_.Wiping()  ? kMsgWiping
                                                                : kMsgTrimming));
  }
}

void TMainController::ShowFailure(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& failure) {
    view_.ShowError(QString::fromUtf8(failure.what()));
  }
}

int TMainController::RateReduction() const {
  const TViewRate rate = ViewRateAt(ShownRateIndex());
  return TPictureCache::ReductionFor(rate.Num, rate.Den);
}

TTrimModeKind TMainController::TrimModeKind() const {
  return TrimModeKindAt(view_.TrimModeIndex(), trimModes_);
}

void TMainController::MouseDown(int x, int y) {
  if (!document_.HasDocument()) return;
  selection_.MouseDown(mirror_.ViewX(x, viewMapping_.ViewWidth()),
                       mirror_.ViewY(y, viewMapping_.ViewHeight()));
}

void TMainController::MouseMove(int x, int y, bool leftHeld) {
  if (!document_.HasDocument()) return;
  selection_.MouseMove(mirror_.ViewX(x, viewMapping_.ViewWidth()),
                       mirror_.ViewY(y, viewMapping_.ViewHeight()), leftHeld, TrimModeKind());
}

void TMainController::MouseUp() {
  if (document_.HasDocument()) selection_.MouseUp(TrimModeKind());
}

void TMainController::KeyDown(int key, Qt::KeyboardModifiers modifiers, QPoint pointer) {
  // Keys typed ahead act on the document they were typed for, once it is there.
  WhenIdle([this, key, modifiers, pointer] { PressKey(key, modifiers, pointer); });
}

void TMainController::PressKey(int key, Qt::KeyboardModifiers modifiers, QPoint pointer) {
  if (!document_.HasDocument()) return;
  // In a damaged picture, the largest part that a trim takes whole.
  const std::optional<TTrimRect> intact =
      IsSelectAllKey(key, modifiers) ? document_.IntactRect() : std::nullopt;
  if (IsSelectAllKey(key, modifiers) &&
      (intact ? selection_.SelectPart(*intact) : selection_.SelectAll())) {
    ApplyTrimMode();
    SyncCommandStates();
  }
  if (const std::optional<TArrowKey> arrow = ArrowKeyOf(key)) {
    selection_.ArrowKey(mirror_.Key(*arrow), ArrowKeyResizes(modifiers),
                        mirror_.ViewX(pointer.x(), viewMapping_.ViewWidth()),
                        mirror_.ViewY(pointer.y(), viewMapping_.ViewHeight()));
  }
}

TTrimRect TMainController::FrameViewRect() const {
  return selection_.ToViewRect(mirror_.Rect(wipeRegion_.value_or(selection_.SelectionRect())));
}

void TMainController::DrawSelection(const TTrimRect& rect) {
  // Told as the screen shows it.
  const TTrimRect shown = mirror_.Rect(rect);
  QString information = QString::fromStdString(SelectionInformation(shown));
  const std::vector<TTrimRect> damaged = document_.DamagedRegions();
  if (std::any_of(damaged.begin(), damaged.end(), [&](const TTrimRect& region) {
        return region.Left < rect.Right && rect.Left < region.Right && region.Top < rect.Bottom &&
               rect.Top < region.Bottom;
      })) {
    information += QString::fromUtf8(kMsgSelectionDamaged);
  }
  view_.SetInformationText(information);
  // Only the frame's band is painted again, never the whole picture.
  view_.RepaintFrame(selection_.ToViewRect(shown));
}

void TMainController::ClearInformation() { view_.SetInformationText({}); }

void TMainController::EnableSelectionCommands(bool) { SyncCommandStates(); }

void TMainController::SetPointer(TPointerShape shape) { view_.SetPointer(mirror_.Shape(shape)); }

}  // namespace tarvo
