#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <exception>

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "EngineMessage.h"
#include "Explanation.h"
#include "FileDialogs.h"
#include "Fonts.h"
#include "Help.h"
#include "JpegTrimming.h"
#include "Options.h"
#include "PictureDecoder.h"
#include "PictureView.h"
#include "ReadmeLocation.h"
#include "SelectionEvents.h"
#include "SelectionFrame.h"
#include "SettingsStore.h"
#include "TrimModeCombo.h"
#include "ViewRateCombo.h"
#include "WindowPlacement.h"
#include "WindowPrompts.h"
#include "WindowTexts.h"
#include "ZoomKeys.h"

namespace tarvo {
namespace {

// Designed placement; stored placement overrides it.
constexpr int kDesignedLeft = 323;
constexpr int kDesignedTop = 319;
constexpr int kDesignedWidth = 696;
constexpr int kDesignedHeight = 480;
constexpr int kToolbarHeight = 32;
constexpr int kImageButtonSize = 28;
constexpr int kViewRateWidth = 73;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The first dropped item, when it is a local file.
QString FirstDroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) return {};
  const QUrl first = data->urls().constFirst();
  return first.isLocalFile() ? first.toLocalFile() : QString();
}

}  // namespace

TFm_Main::TFm_Main(std::unique_ptr<TSettingsStore> store)
    : settingsStore_(store ? std::move(store) : std::make_unique<TQSettingsStore>()),
      prompts_(std::make_unique<TWindowPrompts>(this)),
      document_(AppSettings, *prompts_, EngineMessage),
      selection_(*this) {
  document_.SetChangeNotice([this](const TDocumentChange& change) { SyncToDocument(change); });
  setObjectName(QStringLiteral("Fm_Main"));
  setWindowTitle(Text(kMainCaption));
  setFont(GothicFont());
  move(kDesignedLeft, kDesignedTop);
  resize(kDesignedWidth, kDesignedHeight);

  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  Pnl_Menu = new QWidget(client);
  Pnl_Menu->setObjectName(QStringLiteral("Pnl_Menu"));
  Pnl_Menu->setFixedHeight(kToolbarHeight);
  BuildToolbar(Pnl_Menu);
  layout->addWidget(Pnl_Menu);
  ScrollBox = new TScrollBox(client);
  PaintBox = ScrollBox->PaintBox();
  layout->addWidget(ScrollBox, 1);
  connect(ScrollBox, &TScrollBox::MouseDown, this, &TFm_Main::PaintBoxMouseDown);
  connect(ScrollBox, &TScrollBox::MouseMove, this, &TFm_Main::PaintBoxMouseMove);
  connect(ScrollBox, &TScrollBox::MouseUp, this, &TFm_Main::PaintBoxMouseUp);
  connect(PaintBox, &TPaintBox::PaintOverlay, this,
          [this](QPainter& painter, const QRect& exposed) {
            if (selection_.FrameShown())
              PaintSelectionFrame(painter, selection_.ViewRect(), exposed);
          });
  setCentralWidget(client);

  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  // A permanent label: QStatusBar's own message is wiped by menu hovers.
  StatusBarText = new QLabel(statusBar());
  StatusBarText->setObjectName(QStringLiteral("StatusBarText"));
  // A long path is cut at the window's edge rather than widening the window.
  StatusBarText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusBar()->addWidget(StatusBarText, 1);

  BuildMenus();

  FormCreate();
}

TFm_Main::~TFm_Main() = default;

QToolButton* TFm_Main::AddImageButton(QWidget* panel, const char* name, const char* icon, int left,
                                      const char* tooltip, void (TFm_Main::*handler)()) {
  auto* button = new QToolButton(panel);
  button->setObjectName(QString::fromLatin1(name));
  button->setIcon(QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(icon)));
  button->setIconSize(QSize(24, 24));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setGeometry(left, 2, kImageButtonSize, kImageButtonSize);
  if (tooltip != nullptr) button->setToolTip(Text(tooltip));
  connect(button, &QToolButton::clicked, this,
          [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); });
  return button;
}

void TFm_Main::BuildToolbar(QWidget* panel) {
  Sbn_OpenFile =
      AddImageButton(panel, "Sbn_OpenFile", "open.svg", 0, nullptr, &TFm_Main::mnu_OpenFileClick);
  Sbn_SaveAsFile = AddImageButton(panel, "Sbn_SaveAsFile", "saveas.svg", 28, nullptr,
                                  &TFm_Main::mnu_SaveAsFileClick);
  Sbn_Cut = AddImageButton(panel, "Sbn_Cut", "cut.svg", 64, "トリミングの実行",
                           &TFm_Main::mnu_GoOperationClick);
  Sbn_Undo =
      AddImageButton(panel, "Sbn_Undo", "undo.svg", 92, "元に戻す", &TFm_Main::mnu_UndoClick);
  Sbn_AdjustRect = AddImageButton(panel, "Sbn_AdjustRect", "adjust.svg", 120, "選択範囲の調整",
                                  &TFm_Main::mnu_AdjustRectClick);

  // Both combos take the focus on a click only: the Tab key skips them.
  Cbo_ViewRate = new TViewRateCombo(panel);
  Cbo_ViewRate->setObjectName(QStringLiteral("Cbo_ViewRate"));
  Cbo_ViewRate->setToolTip(Text("表示の倍率"));
  Cbo_ViewRate->setFont(MinchoFont());
  Cbo_ViewRate->setFocusPolicy(Qt::ClickFocus);
  Cbo_ViewRate->move(152, 4);
  // The designed width, or more where the font the system gives needs it to show "100.0%".
  const int rateWidth =
      std::max(kViewRateWidth, Cbo_ViewRate->WidthShowing(QStringLiteral("100.0%")));
  Cbo_ViewRate->setFixedWidth(rateWidth);
  const int widened = rateWidth - kViewRateWidth;
  connect(Cbo_ViewRate, &QComboBox::activated, this,
          [this] { RunCommand([this] { Cbo_ViewRateSelect(); }); });

  Cbo_TrimMode = new TTrimModeCombo(panel);
  Cbo_TrimMode->setObjectName(QStringLiteral("Cbo_TrimMode"));
  Cbo_TrimMode->setToolTip(Text("選択モード"));
  Cbo_TrimMode->setFocusPolicy(Qt::ClickFocus);
  Cbo_TrimMode->move(230 + widened, 4);
  Cbo_TrimMode->setFixedWidth(104);
  connect(Cbo_TrimMode, &QComboBox::activated, this,
          [this] { RunCommand([this] { Cbo_TrimModeSelect(); }); });

  Lbl_Information = new QLabel(panel);
  Lbl_Information->setObjectName(QStringLiteral("Lbl_Information"));
  Lbl_Information->move(352 + widened, 8);
}

QAction* TFm_Main::AddCommand(QMenu* menu, const char* name, const char* caption,
                              void (TFm_Main::*handler)()) {
  QAction* action = menu->addAction(Text(caption));
  action->setObjectName(QString::fromLatin1(name));
  connect(action, &QAction::triggered, this,
          [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); });
  return action;
}

void TFm_Main::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));

  QMenu* file = bar->addMenu(Text("ファイル(&F)"));
  file->setObjectName(QStringLiteral("mnu_File"));
  mnu_OpenFile =
      AddCommand(file, "mnu_OpenFile", "ファイルを開く(&O)", &TFm_Main::mnu_OpenFileClick);
  mnu_OpenFile->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  mnu_SaveFile = AddCommand(file, "mnu_SaveFile", "上書き保存(&S)", &TFm_Main::mnu_SaveFileClick);
  mnu_SaveAsFile =
      AddCommand(file, "mnu_SaveAsFile", "名前を付けて保存(&A)", &TFm_Main::mnu_SaveAsFileClick);
  mnu_SaveAsFile->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  mnu_CloseFile = AddCommand(file, "mnu_CloseFile", "閉じる", &TFm_Main::mnu_CloseFileClick);
  file->addSeparator()->setObjectName(QStringLiteral("mnu_Sepa01"));
  mnu_Exit = AddCommand(file, "mnu_Exit", "終了", &TFm_Main::mnu_ExitClick);

  QMenu* edit = bar->addMenu(Text("編集(&E)"));
  edit->setObjectName(QStringLiteral("mnu_Edit"));
  mnu_GoOperation =
      AddCommand(edit, "mnu_GoOperation", "トリミングの実行", &TFm_Main::mnu_GoOperationClick);
  mnu_GoOperation->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
  mnu_Undo = AddCommand(edit, "mnu_Undo", "元に戻す", &TFm_Main::mnu_UndoClick);
  mnu_Undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  mnu_AdjustRect =
      AddCommand(edit, "mnu_AdjustRect", "選択範囲の調整", &TFm_Main::mnu_AdjustRectClick);
  edit->addSeparator()->setObjectName(QStringLiteral("mnu_Sepa03"));
  a1 = AddCommand(edit, "a1", "コピー", &TFm_Main::a1Click);
  a1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  edit->addSeparator()->setObjectName(QStringLiteral("N1"));
  mnu_Option = AddCommand(edit, "mnu_Option", "オプション...", &TFm_Main::mnu_OptionClick);
  mnu_ZoomIn = AddCommand(edit, "mnu_ZoomIn", "拡大", &TFm_Main::mnu_ZoomInClick);
  mnu_ZoomOut = AddCommand(edit, "mnu_ZoomOut", "縮小", &TFm_Main::mnu_ZoomOutClick);

  QMenu* help = bar->addMenu(Text("ヘルプ(&H)"));
  help->setObjectName(QStringLiteral("mnu_Help"));
  mnu_Topic = AddCommand(help, "mnu_Topic", "トピックの検索", &TFm_Main::mnu_TopicClick);
  help->addSeparator()->setObjectName(QStringLiteral("mnu_Sepa04"));
  mnu_About = AddCommand(help, "mnu_About", "バージョン情報", &TFm_Main::mnu_AboutClick);
}

void TFm_Main::FormCreate() {
  SyncCommandStates();
  RebuildTrimModeCombo();

  TWindowSettings stored;
  QString message;
  const bool loaded = LoadSettings(*settingsStore_, stored, TrimModes, AppSettings, message);
  ApplySettings(stored);
  if (!loaded) ErrorMessage(message);
  Cbo_TrimModeChange();

  // The remaining steps do not depend on the settings, so they run even after a load error.
  setAcceptDrops(true);

  auto* taps = new TSelectionEventTaps(this, Pnl_Menu);
  taps->OnKeyDown = [this](int key, Qt::KeyboardModifiers modifiers) {
    RunCommand([this, key, modifiers] { FormKeyDown(key, modifiers); });
  };
  taps->OnMenuPanelMouseMove = [this] { Pnl_MenuMouseMove(); };

  // Only the numeric keypad's plus and minus zoom (see FormKeyDown): the label after the tab is
  // the menu's whole shortcut text, and the main keyboard's plus and minus stay unbound.
  mnu_ZoomIn->setText(Text("拡大\tCtrl +"));
  mnu_ZoomOut->setText(Text("縮小\tCtrl -"));

  FirstShow = true;
  document_.SetSlowDecodeNotice([this](bool running) { ShowSlowDecode(running); });
}

void TFm_Main::SetDialogs(TFm_Help* help, TFm_Explanation* explanation, TFm_Options* options) {
  helpDialog_ = help;
  explanationDialog_ = explanation;
  optionsDialog_ = options;
}

void TFm_Main::SetArguments(const QStringList& arguments) { arguments_ = arguments; }

void TFm_Main::SetCommandStates(const TCommandStates& states) {
  commandStates_ = states;
  mnu_OpenFile->setEnabled(states.OpenFile);
  mnu_SaveFile->setEnabled(states.SaveFile);
  mnu_SaveAsFile->setEnabled(states.SaveAsFile);
  Sbn_SaveAsFile->setEnabled(states.SaveAsFile);
  mnu_CloseFile->setEnabled(states.CloseFile);
  mnu_GoOperation->setEnabled(states.GoOperation);
  Sbn_Cut->setEnabled(states.GoOperation);
  mnu_Undo->setEnabled(states.Undo);
  Sbn_Undo->setEnabled(states.Undo);
  mnu_AdjustRect->setEnabled(states.AdjustRect);
  Sbn_AdjustRect->setEnabled(states.AdjustRect);
}

void TFm_Main::SyncCommandStates() {
  SetCommandStates(CommandStatesFor({.HasDocument = document_.HasDocument(),
                                     .HasTrims = !document_.TrimHistory().empty(),
                                     .HasSelection = selection_.SelectionState != selNone}));
}

QString TFm_Main::StatusText() const { return StatusBarText->text(); }

void TFm_Main::SetStatusText(const QString& text) { StatusBarText->setText(text); }

void TFm_Main::SetInformationText(const QString& text) {
  Lbl_Information->setText(text);
  Lbl_Information->adjustSize();
}

void TFm_Main::RunCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    QMessageBox box(QMessageBox::Critical, Text(kAppTitle), QString::fromUtf8(error.what()),
                    QMessageBox::NoButton, this);
    box.addButton(Text(kButtonOk), QMessageBox::AcceptRole);
    box.exec();
  }
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
  const QFileInfo first(arguments_.constFirst());
  // A FIFO or a device is an existing file too: the open refuses it with its message.
  if (first.exists() && !first.isDir()) OpenDocument(first.absoluteFilePath());
}

void TFm_Main::closeEvent(QCloseEvent* event) {
  bool mayClose = false;
  RunCommand([&] { mayClose = FormCloseQuery(); });
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
  const QRect placement =
      FittedPlacement(QRect(stored.App_Left, stored.App_Top, stored.App_Width, stored.App_Height),
                      screens, primary != nullptr ? primary->availableGeometry() : QRect());
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

bool TFm_Main::FormCloseQuery() { return document_.CloseQuery(); }

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
  if (!SaveSettings(*settingsStore_, window, TrimModes, AppSettings, message)) {
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
      this,
      [this, path] {
        RunCommand([this, path] {
          if (document_.CloseQuery()) OpenDocument(path);
        });
      },
      Qt::QueuedConnection);
}

void TFm_Main::OpenDocument(const QString& path) { document_.OpenDocument(path, RateReduction()); }

void TFm_Main::SyncToDocument(const TDocumentChange& change) {
  const TDocumentChange::TKind kind = change.Kind;
  if (kind == TDocumentChange::Opened || kind == TDocumentChange::Trimmed ||
      kind == TDocumentChange::Closed) {
    selection_.Clear();
    SetInformationText({});
  }
  if (!document_.HasDocument()) {
    // The paint area keeps its last size and shows nothing.
    PaintBox->SetPicture({}, 1, 1);
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
    const TTrimRect& r = change.Restored;
    const TSelectionRect restored{r.Left, r.Top, r.Right, r.Bottom};
    selection_.Restore(restored);
    SetInformationText(QString::fromStdString(SelectionInformation(restored)));
  }
  SetStatusText(document_.StatusText());
  if (kind == TDocumentChange::Opened || kind == TDocumentChange::Trimmed) Cbo_TrimModeChange();
  SyncCommandStates();
}

void TFm_Main::Cbo_TrimModeChange() {
  if (!document_.HasDocument()) return;
  ChangeTrimMode(selection_, Cbo_TrimMode->currentIndex(), TrimModes,
                 {View_.PictureWidth(), View_.PictureHeight()});
}

void TFm_Main::Cbo_TrimModeSelect() {
  Cbo_TrimModeChange();
  Cbo_TrimMode->clearFocus();
}

void TFm_Main::RebuildTrimModeCombo() {
  Cbo_TrimMode->Rebuild(TrimModes);
  Cbo_ViewRate->SetModeDropDownWidth(Cbo_TrimMode->ModeDropDownWidth());
}

TTrimModeKind TFm_Main::TrimModeKind() const {
  return TrimModeKindAt(Cbo_TrimMode->currentIndex(), TrimModes);
}

void TFm_Main::DrawSelection(const TSelectionRect& rect) {
  SetInformationText(QString::fromStdString(SelectionInformation(rect)));
  // Only the frame's band is painted again, never the whole picture.
  PaintBox->update(SelectionFrameRegion(selection_.ToViewRect(rect)));
}

void TFm_Main::PaintBoxMouseDown(Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int x,
                                 int y) {
  if (document_.HasDocument()) selection_.MouseDown(x, y);
}

void TFm_Main::PaintBoxMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers, int x, int y) {
  if (document_.HasDocument()) {
    selection_.MouseMove(x, y, buttons.testFlag(Qt::LeftButton), TrimModeKind());
  }
}

void TFm_Main::PaintBoxMouseUp(Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {
  if (document_.HasDocument()) selection_.MouseUp(TrimModeKind());
}

void TFm_Main::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (const std::optional<TZoomStep> zoom = ZoomKeyOf(key, modifiers)) {
    (zoom == TZoomStep::In ? mnu_ZoomIn : mnu_ZoomOut)->trigger();
    return;
  }
  if (!document_.HasDocument()) return;
  if (IsSelectAllKey(key, modifiers) && selection_.SelectAll()) {
    Cbo_TrimModeChange();
    SyncCommandStates();
  }
  if (const std::optional<TArrowKey> arrow = ArrowKeyOf(key)) {
    const QPoint pointer = PaintBox->mapFromGlobal(QCursor::pos());
    selection_.ArrowKey(*arrow, ArrowKeyResizes(modifiers), pointer.x(), pointer.y());
  }
}

void TFm_Main::Pnl_MenuMouseMove() { SetPointer(TPointerShape::Arrow); }

void TFm_Main::ClearInformation() { SetInformationText({}); }

void TFm_Main::EnableSelectionCommands(bool) { SyncCommandStates(); }

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

void TFm_Main::mnu_OpenFileClick() {
  // Unsaved trims are asked about before another file can take their place.
  if (!document_.CloseQuery()) return;
  const QString chosen = RunFileDialog(*NewOpenDialog(this), openFolder_);
  if (chosen.isEmpty()) return;
  openFolder_ = QFileInfo(chosen).absolutePath();
  OpenDocument(chosen);
}

void TFm_Main::mnu_SaveFileClick() { document_.SaveFile(); }

void TFm_Main::mnu_SaveAsFileClick() { document_.SaveDocument({}); }

void TFm_Main::mnu_CloseFileClick() {
  if (document_.CloseQuery()) document_.Close();
}

void TFm_Main::mnu_ExitClick() { close(); }

void TFm_Main::mnu_GoOperationClick() {
  if (selection_.SelectionState == selNone) return;
  const TSelectionRect& s = selection_.SelectionRect;
  document_.Trim({s.Left, s.Top, s.Right, s.Bottom});
}

void TFm_Main::mnu_UndoClick() { document_.Undo(); }

void TFm_Main::mnu_AdjustRectClick() {
  if (selection_.SelectionState == selNone) return;
  if (explanationDialog_ != nullptr &&
      !explanationDialog_->ShowExplanation(AppSettings.ShowExplanation_AdjustRect)) {
    return;
  }
  selection_.AdjustToMcus();
}

void TFm_Main::a1Click() {
  if (std::unique_ptr<QMimeData> data = document_.ClipboardData()) {
    QGuiApplication::clipboard()->setMimeData(data.release());
  }
}

void TFm_Main::mnu_OptionClick() {
  if (optionsDialog_ == nullptr) return;
  optionsDialog_->Execute();
  RebuildTrimModeCombo();
}

void TFm_Main::mnu_ZoomInClick() {
  Cbo_ViewRate->setCurrentIndex(ZoomInIndex(Cbo_ViewRate->currentIndex()));
  Cbo_ViewRateSelect();
}

void TFm_Main::mnu_ZoomOutClick() {
  Cbo_ViewRate->setCurrentIndex(ZoomOutIndex(Cbo_ViewRate->currentIndex()));
  Cbo_ViewRateSelect();
}

void TFm_Main::mnu_TopicClick() {
  const QString path = ReadmePath(QCoreApplication::applicationDirPath());
  if (!path.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TFm_Main::mnu_AboutClick() {
  if (helpDialog_ != nullptr) helpDialog_->exec();
}

int TFm_Main::RateReduction() const {
  const TViewRate rate = ViewRateAt(Cbo_ViewRate->currentIndex());
  return TPictureCache::ReductionFor(rate.Num, rate.Den);
}

void TFm_Main::ShowSlowDecode(bool running) {
  if (running) {
    statusBeforeDecode_ = StatusText();
    SetStatusText(Text(kMsgReadingPicture));
    // The window waits for the decode: paint now, not when it returns to its event loop.
    repaint();
  } else {
    SetStatusText(statusBeforeDecode_);
  }
}

void TFm_Main::Cbo_ViewRateChange() {
  if (document_.HasDocument()) ShowDocumentPicture();
}

void TFm_Main::ShowDocumentPicture() {
  // Decoded before anything changes, so a picture that fails to decode leaves the view as it was.
  const TPicture& picture = document_.Picture(RateReduction());
  const TViewRate rate = ViewRateAt(Cbo_ViewRate->currentIndex());
  PaintBox->SetPicture(picture, rate.Num, rate.Den);
  View_.SetPicture(picture.Frame.width(), picture.Frame.height(), document_.MaxHSampling(),
                   document_.MaxVSampling());
  View_.SetRateIndex(Cbo_ViewRate->currentIndex());
  // The selection keeps its image pixels; the repaint draws its frame at the new rate.
  selection_.SetGrid({View_.PictureWidth(), View_.PictureHeight(), View_.McuWidth(),
                      View_.McuHeight(), View_.ViewScaleNum(), View_.ViewScaleDen()});
  ScrollBox->SetViewSize(View_.ViewWidth(), View_.ViewHeight());
}

void TFm_Main::Cbo_ViewRateSelect() {
  Cbo_ViewRateChange();
  Cbo_ViewRate->clearFocus();
}

void TFm_Main::wheelEvent(QWheelEvent* event) {
  // The wheel scrolls the picture wherever the pointer is over the window.
  ScrollBox->WheelDelta(event->angleDelta().y());
}

}  // namespace tarvo
