#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <exception>

#include "EngineMessage.h"
#include "Explanation.h"
#include "FileDialogs.h"
#include "Help.h"
#include "LoadSaveSettings.h"
#include "Options.h"
#include "PictureView.h"
#include "ReadmeOpener.h"
#include "SelectionEvents.h"
#include "SelectionFrame.h"
#include "TrimModeCombo.h"
#include "ViewRateCombo.h"
#include "WindowPlacement.h"
#include "WindowPrompts.h"
#include "WindowTexts.h"
#include "ZoomKeys.h"

namespace tarvo {
namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The first dropped item, when it is a local file.
QString FirstDroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) return {};
  const QUrl first = data->urls().constFirst();
  return first.isLocalFile() ? first.toLocalFile() : QString();
}

// "[  17,  33] - [ 208, 160] ( 192, 128)" without the spaces that line the numbers up:
// "[17,33] - [208,160] (192,128)".
QString UnpaddedInformation(QString text) {
  text.remove(QLatin1Char(' '));
  return text.replace(QStringLiteral("]-["), QStringLiteral("] - ["))
      .replace(QStringLiteral("]("), QStringLiteral("] ("));
}

}  // namespace

TFm_Main::TFm_Main(std::unique_ptr<TSettingsStore> store, TDocumentWork work)
    : settingsStore_(store ? std::move(store) : std::make_unique<TQSettingsStore>()),
      prompts_(std::make_unique<TWindowPrompts>(this)) {
  BuildWidgets();
  controller_ = std::make_unique<TMainController>(static_cast<TMainView&>(*this), *prompts_,
                                                  EngineMessage, std::move(work));
  FormCreate();
}

TFm_Main::~TFm_Main() = default;

void TFm_Main::FormCreate() {
  RebuildTrimModeCombo();

  TWindowSettings stored;
  QString message;
  const bool loaded = LoadSettings(*settingsStore_, stored, TrimModeList(), Settings(), message);
  ApplySettings(stored);
  if (!loaded) ErrorMessage(message);
  controller_->ApplyTrimMode();

  // The remaining steps do not depend on the settings, so they run even after a load error.
  setAcceptDrops(true);

  auto* taps = new TSelectionEventTaps(this, Pnl_Menu);
  taps->OnKeyDown = [this](int key, Qt::KeyboardModifiers modifiers) {
    RunCommand([this, key, modifiers] { FormKeyDown(key, modifiers); });
  };
  taps->OnMenuPanelMouseMove = [this] { SetPointer(TPointerShape::Arrow); };

  // Only the numeric keypad's plus and minus zoom (see FormKeyDown): the label after the tab is
  // the menu's whole shortcut text, and the main keyboard's plus and minus stay unbound.
  mnu_ZoomIn->setText(Text("拡大\tCtrl +"));
  mnu_ZoomOut->setText(Text("縮小\tCtrl -"));

  // Keys go to the window, for the selection, until Tab or a click takes them to a combo.
  setFocusPolicy(Qt::ClickFocus);
  setFocus();

  FirstShow = true;
}

void TFm_Main::SetDialogs(TFm_Help* help, TFm_Explanation* explanation, TFm_Options* options) {
  helpDialog_ = help;
  explanationDialog_ = explanation;
  optionsDialog_ = options;
}

void TFm_Main::SetArguments(const QStringList& arguments) { arguments_ = arguments; }

void TFm_Main::SetCommandStates(const TCommandStates& states) {
  mnu_OpenFile->setEnabled(states.OpenFile);
  mnu_SaveFile->setEnabled(states.SaveFile);
  mnu_SaveAsFile->setEnabled(states.SaveAsFile);
  Sbn_SaveAsFile->setEnabled(states.SaveAsFile);
  mnu_CloseFile->setEnabled(states.CloseFile);
  mnu_GoOperation->setEnabled(states.GoOperation);
  Sbn_Cut->setEnabled(states.GoOperation);
  mnu_Undo->setEnabled(states.Undo);
  Sbn_Undo->setEnabled(states.Undo);
  mnu_Redo->setEnabled(states.Redo);
  mnu_AdjustRect->setEnabled(states.AdjustRect);
  for (QAction* turn :
       {mnu_TurnRight, mnu_TurnLeft, mnu_Turn180, mnu_FlipHorizontal, mnu_FlipVertical}) {
    turn->setEnabled(states.Turn);
  }
  mnu_TurnUpright->setEnabled(states.TurnUpright);
  // A wipe acts on the selection, as a trim does. Its menu's item is switched, not the menu: a
  // menu made disabled while it is open would close under the user.
  mnu_Wipe->menuAction()->setEnabled(states.GoOperation);
  Sbn_AdjustRect->setEnabled(states.AdjustRect);
}

QString TFm_Main::StatusText() const { return StatusBarText->text(); }

void TFm_Main::SetStatusText(const QString& text) { StatusBarText->setText(text); }

void TFm_Main::SetTitle(const QString& title, bool modified) {
  setWindowTitle(title);
  setWindowModified(modified);
}

void TFm_Main::SetInformationText(const QString& text) {
  informationText_ = text;
  FitInformationText();
}

void TFm_Main::FitInformationText() {
  // The toolbar spans the window. At the designed width the widest text is a few pixels short
  // of room, and a narrower window is short of more: the column padding goes first, then the end
  // of the text, never the numbers' start.
  const int room = std::max(0, width() - Lbl_Information->x());
  const QFontMetrics metrics = Lbl_Information->fontMetrics();
  QString shown = informationText_;
  if (metrics.horizontalAdvance(shown) > room) shown = UnpaddedInformation(shown);
  Lbl_Information->setText(metrics.elidedText(shown, Qt::ElideRight, room));
  Lbl_Information->adjustSize();
}

void TFm_Main::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitInformationText();
  // The scroll area is laid out to the new size once the layout has run.
  QMetaObject::invokeMethod(
      this, [this] { RunCommand([this] { controller_->ViewAreaResized(); }); },
      Qt::QueuedConnection);
}

void TFm_Main::RunCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    ShowError(QString::fromUtf8(error.what()));
  }
}

void TFm_Main::ShowError(const QString& text) {
  QMessageBox box(QMessageBox::Critical, Text(kAppTitle), text, QMessageBox::NoButton, this);
  box.addButton(Text(kButtonOk), QMessageBox::AcceptRole);
  box.exec();
}

void TFm_Main::CloseAgain() {
  // From the event loop: the work's outcome is still being taken over when this is told.
  QMetaObject::invokeMethod(
      this, [this] { close(); }, Qt::QueuedConnection);
}

void TFm_Main::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FirstShow) {
    FirstShow = false;
    openAfterFirstPaint_ = true;
  }
}

void TFm_Main::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  if (!openAfterFirstPaint_) return;
  openAfterFirstPaint_ = false;
  // Opened once the window is on screen and painted, so an error box has a window to sit over
  // and the decode of a large picture never leaves a blank window.
  QMetaObject::invokeMethod(
      this, [this] { RunCommand([this] { FormShow(); }); }, Qt::QueuedConnection);
}

void TFm_Main::FormShow() {
  if (arguments_.isEmpty()) return;
  // Whatever it names is opened as a drop would be: a folder, a missing file, a FIFO or a device
  // is refused with the open's message rather than leaving an empty window unexplained.
  OpenDocument(QFileInfo(arguments_.constFirst()).absoluteFilePath());
}

void TFm_Main::closeEvent(QCloseEvent* event) {
  bool mayClose = false;
  RunCommand([&] { mayClose = controller_->CloseQuery(); });
  if (!mayClose) {
    event->ignore();
    return;
  }
  RunCommand([this] { FormClose(); });
  event->accept();
}

void TFm_Main::ApplySettings(const TWindowSettings& stored) {
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    screens.append(screen->availableGeometry());
  }
  const QScreen* primary = QGuiApplication::primaryScreen();
  QRect wanted(stored.App_Left, stored.App_Top, stored.App_Width, stored.App_Height);
  // The designed placement is too narrow for the window's own texts in the fonts Linux gives;
  // the first window is as wide as they need, where the screen has room (else shrunk to it).
  const TWindowSettings designed;
  const QRect area = primary != nullptr ? primary->availableGeometry() : QRect();
  if (wanted ==
          QRect(designed.App_Left, designed.App_Top, designed.App_Width, designed.App_Height) &&
      WidthForTexts() > wanted.width()) {
    // Centred across, so that the window manager's frame stays on the screen too.
    wanted.setWidth(WidthForTexts());
    if (area.isValid()) {
      wanted.moveLeft(area.left() + std::max(0, (area.width() - wanted.width()) / 2));
    }
  }
  const QRect placement = FittedPlacement(wanted, screens, area);
  move(placement.topLeft());
  resize(placement.size());
  if (stored.App_WindowState == TWindowSettings::kStateMaximised) {
    setWindowState(Qt::WindowMaximized);
  } else if (stored.App_WindowState == TWindowSettings::kStateMinimised) {
    setWindowState(Qt::WindowMinimized);
  }
  Cbo_ViewRate->setCurrentIndex(stored.gViewRate);
  RebuildTrimModeCombo();
  Cbo_TrimMode->setCurrentIndex(stored.gTrimMode);
}

int TFm_Main::WidthForTexts() const {
  // The widest selection a photo has, over damaged parts; a status bar with a path of a usual
  // length, a photo's size and the hint about damaged parts; and the margins around each.
  const QString information = QString::fromStdString(SelectionInformation({0, 0, 99999, 99999})) +
                              Text(kMsgSelectionDamaged);
  const QString status =
      QStringLiteral("/home/user/Pictures/IMG_20240101_123456.jpg (99999x99999)") +
      Text(kMsgDamagedParts);
  constexpr int kMargin = 24;
  return std::max(
             Lbl_Information->x() + Lbl_Information->fontMetrics().horizontalAdvance(information),
             StatusBarText->fontMetrics().horizontalAdvance(status)) +
         kMargin;
}

void TFm_Main::FormClose() {
  TWindowSettings window;
  if (isMaximized()) {
    window.App_WindowState = TWindowSettings::kStateMaximised;
  } else if (isMinimized()) {
    window.App_WindowState = TWindowSettings::kStateMinimised;
  } else {
    window.App_WindowState = TWindowSettings::kStateNormal;
    // Position and size as move() and resize() take them back at the next start.
    window.App_Left = pos().x();
    window.App_Top = pos().y();
    window.App_Width = width();
    window.App_Height = height();
  }
  window.gViewRate = Cbo_ViewRate->currentIndex();
  window.gTrimMode = Cbo_TrimMode->currentIndex();
  QString message;
  if (!SaveSettings(*settingsStore_, window, TrimModeList(), Settings(), message)) {
    ErrorMessage(message);
  }
}

void TFm_Main::dragEnterEvent(QDragEnterEvent* event) {
  if (!FirstDroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFm_Main::dropEvent(QDropEvent* event) {
  const QString path = FirstDroppedFile(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // Opened once the drop has returned: the program the file came from waits until it has, and
  // should not wait on the unsaved-changes question or on decoding a large photo.
  QMetaObject::invokeMethod(
      this, [this, path] { RunCommand([this, path] { controller_->OpenDropped(path); }); },
      Qt::QueuedConnection);
}

void TFm_Main::Cbo_TrimModeSelect() {
  controller_->ApplyTrimMode();
  Cbo_TrimMode->clearFocus();
}

void TFm_Main::RebuildTrimModeCombo() {
  Cbo_TrimMode->Rebuild(TrimModeList());
  Cbo_ViewRate->SetModeDropDownWidth(Cbo_TrimMode->ModeDropDownWidth());
}

void TFm_Main::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  // A combo reached with Tab takes the arrow keys for its items.
  if (ArrowKeyOf(key) && (Cbo_ViewRate->hasFocus() || Cbo_TrimMode->hasFocus())) return;
  if (const std::optional<TZoomStep> zoom = ZoomKeyOf(key, modifiers)) {
    (zoom == TZoomStep::In ? mnu_ZoomIn : mnu_ZoomOut)->trigger();
    return;
  }
  controller_->KeyDown(key, modifiers, PaintBox->mapFromGlobal(QCursor::pos()));
}

void TFm_Main::SetPointer(TPointerShape shape) {
  Qt::CursorShape cursor = Qt::ArrowCursor;
  switch (shape) {
    case TPointerShape::Arrow:
      while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
      return;
    case TPointerShape::SizeDiagonalNwSe:
      cursor = Qt::SizeFDiagCursor;
      break;
    case TPointerShape::SizeDiagonalNeSw:
      cursor = Qt::SizeBDiagCursor;
      break;
    case TPointerShape::SizeHorizontal:
      cursor = Qt::SizeHorCursor;
      break;
    case TPointerShape::SizeVertical:
      cursor = Qt::SizeVerCursor;
      break;
  }
  if (QGuiApplication::overrideCursor() != nullptr) {
    QGuiApplication::changeOverrideCursor(cursor);
  } else {
    QGuiApplication::setOverrideCursor(cursor);
  }
}

void TFm_Main::mnu_OpenFileClick() { controller_->OpenFile(); }

void TFm_Main::mnu_SaveFileClick() { controller_->SaveFile(); }

void TFm_Main::mnu_SaveAsFileClick() { controller_->SaveAsFile(); }

void TFm_Main::mnu_CloseFileClick() { controller_->CloseFile(); }

void TFm_Main::mnu_ExitClick() { close(); }

void TFm_Main::mnu_GoOperationClick() { controller_->Trim(); }

void TFm_Main::mnu_UndoClick() { controller_->Undo(); }

void TFm_Main::mnu_RedoClick() { controller_->Redo(); }

void TFm_Main::mnu_AdjustRectClick() { controller_->AdjustRect(); }

void TFm_Main::mnu_TurnRightClick() { controller_->Turn(kRotate90); }

void TFm_Main::mnu_TurnLeftClick() { controller_->Turn(kRotate270); }

void TFm_Main::mnu_Turn180Click() { controller_->Turn(kRotate180); }

void TFm_Main::mnu_FlipHorizontalClick() { controller_->Turn(kMirrorHorizontal); }

void TFm_Main::mnu_FlipVerticalClick() { controller_->Turn(kMirrorVertical); }

void TFm_Main::mnu_TurnUprightClick() { controller_->TurnUpright(); }

void TFm_Main::mnu_WipeGreyClick() { controller_->Wipe(EWipeFill::kGrey); }

void TFm_Main::mnu_WipeFlatClick() { controller_->Wipe(EWipeFill::kFlat); }

void TFm_Main::mnu_WipeMosaicClick() { controller_->Wipe(EWipeFill::kMosaic); }

void TFm_Main::a1Click() { controller_->Copy(); }

void TFm_Main::mnu_OptionClick() {
  if (optionsDialog_ == nullptr) return;
  optionsDialog_->Execute();
  RebuildTrimModeCombo();
}

void TFm_Main::mnu_ZoomInClick() {
  Cbo_ViewRate->setCurrentIndex(ZoomInIndex(controller_->ShownRateIndex()));
  Cbo_ViewRateSelect();
}

void TFm_Main::mnu_ZoomOutClick() {
  Cbo_ViewRate->setCurrentIndex(ZoomOutIndex(controller_->ShownRateIndex()));
  Cbo_ViewRateSelect();
}

void TFm_Main::mnu_TopicClick() {
  OpenReadme(QCoreApplication::applicationDirPath(), this,
             [](const QString& message) { ErrorMessage(message); });
}

void TFm_Main::mnu_AboutClick() {
  if (helpDialog_ != nullptr) helpDialog_->exec();
}

void TFm_Main::Cbo_ViewRateChange() { controller_->ApplyViewRate(); }

void TFm_Main::Cbo_ViewRateSelect() {
  Cbo_ViewRateChange();
  Cbo_ViewRate->clearFocus();
}

void TFm_Main::wheelEvent(QWheelEvent* event) {
  // The wheel scrolls the picture wherever the pointer is over the window.
  ScrollBox->WheelDelta(event->angleDelta(), event->modifiers());
}

int TFm_Main::ViewRateIndex() const { return Cbo_ViewRate->currentIndex(); }

int TFm_Main::TrimModeIndex() const { return Cbo_TrimMode->currentIndex(); }

QSize TFm_Main::ViewAreaSize() const { return ScrollBox->maximumViewportSize(); }

void TFm_Main::ShowPicture(const TPicture& picture, std::int32_t num, std::int32_t den) {
  PaintBox->SetPicture(picture, num, den);
}

void TFm_Main::ShowPatch(const TPicturePatch& patch) { PaintBox->SetPatch(patch); }

void TFm_Main::SetViewSize(int width, int height) { ScrollBox->SetViewSize(width, height); }

void TFm_Main::ShowDamage(const std::vector<TTrimRect>& regions) {
  std::vector<QRect> shown;
  for (const TTrimRect& r : regions) {
    shown.emplace_back(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  }
  PaintBox->SetDamage(std::move(shown));
}

void TFm_Main::RepaintFrame(const TTrimRect& viewRect) {
  PaintBox->update(SelectionFrameRegion(viewRect));
}

QString TFm_Main::ChooseFileToOpen() {
  // In the open photo's folder, else where the last file was chosen.
  const QString open = controller_->Document().DocFileName();
  const QString chosen = RunFileDialog(
      *NewOpenDialog(this), open.isEmpty() ? openFolder_ : QFileInfo(open).absolutePath());
  if (!chosen.isEmpty()) openFolder_ = QFileInfo(chosen).absolutePath();
  return chosen;
}

bool TFm_Main::ExplainAdjustRect(bool& showNextTime) {
  return explanationDialog_ == nullptr || explanationDialog_->ShowExplanation(showNextTime);
}

}  // namespace tarvo
