#include "MainController.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <memory>
#include <optional>

#include "PictureCache.h"
#include "SelectionEvents.h"
#include "SelectionFrame.h"
#include "TrimModeSelector.h"

namespace tarvo {

TMainController::TMainController(TMainView& view, TDocumentPrompts& prompts, TMessageProc onMessage)
    : view_(view), document_(settings_, prompts, std::move(onMessage)), selection_(*this) {
  document_.SetChangeNotice([this](const TDocumentChange& change) { SyncToDocument(change); });
  document_.SetSlowDecodeNotice([this](bool running) { view_.ShowSlowDecode(running); });
  SyncCommandStates();
}

void TMainController::OpenDocument(const QString& path) {
  document_.OpenDocument(path, RateReduction());
}

void TMainController::OpenFile() {
  // Unsaved trims are asked about before another file can take their place.
  if (!document_.CloseQuery()) return;
  const QString chosen = view_.ChooseFileToOpen();
  if (!chosen.isEmpty()) OpenDocument(chosen);
}

void TMainController::OpenDropped(const QString& path) {
  if (document_.CloseQuery()) OpenDocument(path);
}

void TMainController::SaveFile() { document_.SaveFile(); }

void TMainController::SaveAsFile() { document_.SaveDocument({}); }

void TMainController::CloseFile() {
  if (document_.CloseQuery()) document_.Close();
}

bool TMainController::CloseQuery() { return document_.CloseQuery(); }

void TMainController::Trim() {
  if (selection_.SelectionState() == selNone) return;
  document_.Trim(selection_.SelectionRect());
}

void TMainController::Undo() { document_.Undo(); }

void TMainController::AdjustRect() {
  if (selection_.SelectionState() == selNone) return;
  if (!view_.ExplainAdjustRect(settings_.ShowExplanation_AdjustRect)) return;
  selection_.AdjustToMcus();
}

void TMainController::Copy() {
  if (std::unique_ptr<QMimeData> data = document_.ClipboardData()) {
    QGuiApplication::clipboard()->setMimeData(data.release());
  }
}

void TMainController::SyncToDocument(const TDocumentChange& change) {
  const TDocumentChange::TKind kind = change.Kind;
  if (kind == TDocumentChange::Opened || kind == TDocumentChange::Trimmed ||
      kind == TDocumentChange::Closed) {
    selection_.Clear();
    view_.SetInformationText({});
  }
  if (!document_.HasDocument()) {
    view_.ShowPicture({}, 1, 1);
  } else if (kind != TDocumentChange::Saved) {
    try {
      ShowDocumentPicture();
    } catch (...) {
      // Bytes the display decoder refuses cannot be shown, nor a selection be taken on them: the
      // document is closed rather than shown with the picture of another state.
      document_.Close();
      throw;
    }
  }
  if (kind == TDocumentChange::Undone) {
    // The selection that made the undone trim, ready to be changed and trimmed again.
    selection_.Restore(change.Restored);
    view_.SetInformationText(QString::fromStdString(SelectionInformation(change.Restored)));
  }
  view_.SetStatusText(document_.StatusText());
  view_.SetTitle(document_.TitleText(), document_.Modified());
  if (kind == TDocumentChange::Opened || kind == TDocumentChange::Trimmed) ApplyTrimMode();
  SyncCommandStates();
}

void TMainController::ApplyViewRate() {
  if (document_.HasDocument()) ShowDocumentPicture();
}

void TMainController::ShowDocumentPicture() {
  // Decoded before anything changes, so a picture that fails to decode leaves the view as it was.
  const TPicture& picture = document_.Picture(RateReduction());
  const int rateIndex = view_.ViewRateIndex();
  const TViewRate rate = ViewRateAt(rateIndex);
  view_.ShowPicture(picture, rate.Num, rate.Den);
  viewMapping_.SetPicture(picture.Frame.width(), picture.Frame.height(), document_.McuWidth(),
                          document_.McuHeight());
  viewMapping_.SetRateIndex(rateIndex);
  // The selection keeps its image pixels; the repaint draws its frame at the new rate.
  const TViewMapping& v = viewMapping_;
  selection_.SetGrid({v.PictureWidth(), SelectableHeight(), v.McuWidth(), v.McuHeight(),
                      v.ViewScaleNum(), v.ViewScaleDen()});
  view_.SetViewSize(v.ViewWidth(), v.ViewHeight());
}

void TMainController::ApplyTrimMode() {
  if (!document_.HasDocument()) return;
  ChangeTrimMode(selection_, view_.TrimModeIndex(), trimModes_,
                 {viewMapping_.PictureWidth(), SelectableHeight()});
}

int TMainController::SelectableHeight() const {
  return std::min(viewMapping_.PictureHeight(), document_.SelectableHeight());
}

void TMainController::SyncCommandStates() {
  commandStates_ = CommandStatesFor({.HasDocument = document_.HasDocument(),
                                     .HasTrims = !document_.TrimHistory().empty(),
                                     .HasSelection = selection_.SelectionState() != selNone});
  view_.SetCommandStates(commandStates_);
}

int TMainController::RateReduction() const {
  const TViewRate rate = ViewRateAt(view_.ViewRateIndex());
  return TPictureCache::ReductionFor(rate.Num, rate.Den);
}

TTrimModeKind TMainController::TrimModeKind() const {
  return TrimModeKindAt(view_.TrimModeIndex(), trimModes_);
}

void TMainController::MouseDown(int x, int y) {
  if (document_.HasDocument()) selection_.MouseDown(x, y);
}

void TMainController::MouseMove(int x, int y, bool leftHeld) {
  if (document_.HasDocument()) selection_.MouseMove(x, y, leftHeld, TrimModeKind());
}

void TMainController::MouseUp() {
  if (document_.HasDocument()) selection_.MouseUp(TrimModeKind());
}

void TMainController::KeyDown(int key, Qt::KeyboardModifiers modifiers, QPoint pointer) {
  if (!document_.HasDocument()) return;
  if (IsSelectAllKey(key, modifiers) && selection_.SelectAll()) {
    ApplyTrimMode();
    SyncCommandStates();
  }
  if (const std::optional<TArrowKey> arrow = ArrowKeyOf(key)) {
    selection_.ArrowKey(*arrow, ArrowKeyResizes(modifiers), pointer.x(), pointer.y());
  }
}

void TMainController::DrawSelection(const TTrimRect& rect) {
  view_.SetInformationText(QString::fromStdString(SelectionInformation(rect)));
  // Only the frame's band is painted again, never the whole picture.
  view_.RepaintFrame(selection_.ToViewRect(rect));
}

void TMainController::ClearInformation() { view_.SetInformationText({}); }

void TMainController::EnableSelectionCommands(bool) { SyncCommandStates(); }

void TMainController::SetPointer(TPointerShape shape) { view_.SetPointer(shape); }

}  // namespace tarvo
