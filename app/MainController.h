// The main window's commands and the coordination of document, pictures, selection and view,
// without widgets: the window shows what the controller tells it, and tests drive it alone.
#pragma once

#include <QPoint>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "AppSettings.h"
#include "CommandStates.h"
#include "Document.h"
#include "EngineCallbacks.h"
#include "Selection.h"
#include "TrimModePreset.h"
#include "UprightPicture.h"
#include "ViewMapping.h"

namespace tarvo {

// What the controller asks of the window: what to show, and the questions only widgets ask.
class TMainView {
 public:
  virtual ~TMainView() = default;
  // The combos' item indices: the view rate (see ViewRateAt, and kViewRateFit) and the trim mode.
  virtual int ViewRateIndex() const = 0;
  // The room the picture has, in view pixels, without scroll bars.
  virtual QSize ViewAreaSize() const = 0;
  virtual int TrimModeIndex() const = 0;
  // The picture at the view rate num / den; one without pixels shows nothing, and the paint
  // area keeps its size.
  virtual void ShowPicture(const TPicture& picture, std::int32_t num, std::int32_t den) = 0;
  // patch over the picture shown, a picture of its reduction, until the next picture or patch;
  // one without pixels shows the picture alone again.
  virtual void ShowPatch(const TPicturePatch& patch) = 0;
  virtual void SetViewSize(int width, int height) = 0;
  virtual void SetStatusText(const QString& text) = 0;
  // title holds "[*]" where the modified marker is shown while modified.
  virtual void SetTitle(const QString& title, bool modified) = 0;
  virtual void SetInformationText(const QString& text) = 0;
  virtual void SetCommandStates(const TCommandStates& states) = 0;
  // A failure of work done on the side, told once it is back.
  virtual void ShowError(const QString& text) = 0;
  // The window was asked to close while work ran, and that work is over: ask again.
  virtual void CloseAgain() = 0;
  // Hatches the damaged parts of the picture shown, in its pixels as shown upright, until told
  // others; none clears them.
  virtual void ShowDamage(const std::vector<TTrimRect>& regions) = 0;
  // Paints the band of a selection frame again; rect in view pixels.
  virtual void RepaintFrame(const TTrimRect& viewRect) = 0;
  // For the whole application, until set again.
  virtual void SetPointer(TPointerShape shape) = 0;
  // The open dialog: the chosen path, or empty when cancelled.
  virtual QString ChooseFileToOpen() = 0;
  // The explanation before "選択範囲の調整"; false when the user stops there.
  virtual bool ExplainAdjustRect(bool& showNextTime) = 0;
};

class TMainController : private TSelectionHost {
 public:
  // view and prompts belong to the window and outlive the controller; the engine's messages go
  // to onMessage.
  TMainController(TMainView& view, TDocumentPrompts& prompts, TMessageProc onMessage,
                  TDocumentWork work = {});

  // Work longer than this is shown in the status bar.
  static constexpr int kProgressDelayMs = 250;

  // What the options dialog edits and the settings store keeps.
  TAppSettings& Settings() { return settings_; }
  TTrimModeList& TrimModeList() { return trimModes_; }

  const TDocument& Document() const { return document_; }
  TSelection& Selection() { return selection_; }
  const TViewMapping& View() const { return viewMapping_; }
  const TCommandStates& CommandStates() const { return commandStates_; }

  // Opening, trimming, undoing and decoding run on the side: the commands return at once, and
  // the window is brought up to date when the work is back.
  void OpenDocument(const QString& path);
  // An open, trim, undo or a decode for the view runs, or commands wait for one.
  bool Working() const { return document_.Working() || document_.Decoding(); }
  // Turns the event loop until the work is back and the commands waiting have run (tests,
  // benchmarks).
  void WaitForWork();
  // "ファイルを開く": unsaved trims are asked about before the open dialog.
  void OpenFile();
  // A file dropped on the window: unsaved trims are asked about first.
  void OpenDropped(const QString& path);
  void SaveFile();
  void SaveAsFile();
  void CloseFile();
  // May the window close? Asks about unsaved trims. Not while an open, trim or undo runs: the
  // window is then told to close again once it is over.
  bool CloseQuery();
  void Trim();
  void Undo();
  void Redo();
  // The turn and mirror commands, of the picture as shown, and "Exifの向きに合わせて回転".
  void Turn(TOrientation turn);
  void TurnUpright();
  // "選択範囲を塗りつぶす" with fill, which the settings remember.
  void Wipe(EWipeFill fill);
  // While the fills are offered, the frame shows what a wipe would blank: the selection grown
  // outward to the MCU grid. Shown false, the selection again.
  void ShowWipeRegion(bool shown);
  void AdjustRect();
  void Copy();

  // The view laid out at the view's rate index, when a picture is shown. Until the picture at
  // that rate is decoded, the nearest one held is shown in its place.
  void ApplyViewRate();
  // The room for the picture changed: a picture fitted to it takes the rate that fits now.
  void ViewAreaResized();
  // The rate index the picture is shown at: the view's, with kViewRateFit resolved for the
  // picture shown and the room it has.
  int ShownRateIndex() const;
  // The view's trim mode applied to the selection, when a picture is shown.
  void ApplyTrimMode();

  // The selection's gestures, at view pixels on the paint area.
  void MouseDown(int x, int y);
  void MouseMove(int x, int y, bool leftHeld);
  void MouseUp();
  // Ctrl+A and the arrow keys; pointer is where the pointer stands on the paint area.
  void KeyDown(int key, Qt::KeyboardModifiers modifiers, QPoint pointer);

  // The selection's frame on the paint area, in view pixels, where the screen shows it.
  TTrimRect FrameViewRect() const;

 private:
  // The part of the picture a selection may cover: of a cut-off file, the rows that arrived
  // whole, which are columns where the picture is shown transposed.
  QSize SelectableSize() const;
  // Brings picture, selection grid, rate, status text and command states up to what changed.
  void SyncToDocument(const TDocumentChange& change);
  // The document's picture at the view's rate, the view and the selection's grid laid out for it.
  void ShowDocumentPicture();
  // The patch of a wipe under way over the picture it mends, when that is the one shown.
  void ShowWipePatch();
  // The selection's grid and the damage shown brought up to what decoding has found so far.
  void SyncDecoded();
  void SyncCommandStates();
  // Runs command now, or once the document's work and the commands before have run: what is
  // asked for while the document changes is done in the order asked, as when the window waited.
  void WhenIdle(std::function<void()> command);
  // The status bar: what runs, once it has run a moment, else the document's text.
  void SyncStatusText();
  void ShowFailure(std::exception_ptr error);
  void PressKey(int key, Qt::KeyboardModifiers modifiers, QPoint pointer);
  int RateReduction() const;
  // The size of the document's picture as shown; none without a document.
  QSize ShownSize() const;
  TTrimModeKind TrimModeKind() const;

  // TSelectionHost
  void DrawSelection(const TTrimRect& rect) override;
  void ClearInformation() override;
  void EnableSelectionCommands(bool enabled) override;
  void SetPointer(TPointerShape shape) override;

  TMainView& view_;
  TAppSettings settings_;
  TTrimModeList trimModes_;
  TDocument document_;
  TSelection selection_;
  TViewMapping viewMapping_;
  // Between the selection's picture and the screen's.
  TUprightMirror mirror_;
  TCommandStates commandStates_;
  QTimer progressDelay_;
  bool closePending_ = false;
  // The frame ShowWipeRegion shows in place of the selection's, in the selection's pixels.
  std::optional<TTrimRect> wipeRegion_;
  // The rate index the picture was last laid out at, and the reduction of the picture shown then
  // (0 for none).
  int shownRateIndex_ = kViewRateOneToOne;
  int shownReduction_ = 0;
};

}  // namespace tarvo
