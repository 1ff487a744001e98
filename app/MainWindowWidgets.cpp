// The main window's widgets at their designed places: toolbar, menus, view and status bar.
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "Fonts.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "SelectionFrame.h"
#include "TrimModeCombo.h"
#include "ViewRateCombo.h"
#include "WindowTexts.h"

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

}  // namespace

void TFm_Main::BuildWidgets() {
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
  connect(ScrollBox, &TScrollBox::MouseDown, this,
          [this](Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
            controller_->MouseDown(x, y);
          });
  connect(ScrollBox, &TScrollBox::MouseMove, this,
          [this](Qt::MouseButtons buttons, Qt::KeyboardModifiers, int x, int y) {
            controller_->MouseMove(x, y, buttons.testFlag(Qt::LeftButton));
          });
  connect(ScrollBox, &TScrollBox::MouseUp, this,
          [this](Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {
            controller_->MouseUp();
          });
  connect(PaintBox, &TPaintBox::PaintOverlay, this,
          [this](QPainter& painter, const QRect& exposed) {
            if (controller_->Selection().FrameShown()) {
              PaintSelectionFrame(painter, controller_->FrameViewRect(), exposed);
            }
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
}

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

  // Both combos take the focus on a click and on Tab, in their order on the toolbar.
  Cbo_ViewRate = new TViewRateCombo(panel);
  Cbo_ViewRate->setObjectName(QStringLiteral("Cbo_ViewRate"));
  Cbo_ViewRate->setToolTip(Text("表示の倍率"));
  Cbo_ViewRate->setFont(MinchoFont());
  Cbo_ViewRate->setFocusPolicy(Qt::StrongFocus);
  Cbo_ViewRate->move(152, 4);
  // The designed width, or more where the font the system gives needs it to show "100.0%".
  const int rateWidth = std::max(kViewRateWidth, Cbo_ViewRate->WidthShowingEveryItem());
  Cbo_ViewRate->setFixedWidth(rateWidth);
  const int widened = rateWidth - kViewRateWidth;
  connect(Cbo_ViewRate, &QComboBox::activated, this,
          [this] { RunCommand([this] { Cbo_ViewRateSelect(); }); });

  Cbo_TrimMode = new TTrimModeCombo(panel);
  Cbo_TrimMode->setObjectName(QStringLiteral("Cbo_TrimMode"));
  Cbo_TrimMode->setToolTip(Text("選択モード"));
  Cbo_TrimMode->setFocusPolicy(Qt::StrongFocus);
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
  mnu_Redo = AddCommand(edit, "mnu_Redo", "やり直し", &TFm_Main::mnu_RedoClick);
  mnu_Redo->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  mnu_AdjustRect =
      AddCommand(edit, "mnu_AdjustRect", "選択範囲の調整", &TFm_Main::mnu_AdjustRectClick);
  edit->addSeparator()->setObjectName(QStringLiteral("mnu_SepaTurn"));
  mnu_TurnRight = AddCommand(edit, "mnu_TurnRight", "右に90度回転", &TFm_Main::mnu_TurnRightClick);
  mnu_TurnRight->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  mnu_TurnLeft = AddCommand(edit, "mnu_TurnLeft", "左に90度回転", &TFm_Main::mnu_TurnLeftClick);
  mnu_TurnLeft->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  mnu_Turn180 = AddCommand(edit, "mnu_Turn180", "180度回転", &TFm_Main::mnu_Turn180Click);
  mnu_FlipHorizontal =
      AddCommand(edit, "mnu_FlipHorizontal", "左右反転", &TFm_Main::mnu_FlipHorizontalClick);
  mnu_FlipVertical =
      AddCommand(edit, "mnu_FlipVertical", "上下反転", &TFm_Main::mnu_FlipVerticalClick);
  mnu_TurnUpright = AddCommand(edit, "mnu_TurnUpright", "Exifの向きに合わせて回転",
                               &TFm_Main::mnu_TurnUprightClick);
  edit->addSeparator()->setObjectName(QStringLiteral("mnu_SepaWipe"));
  BuildWipeMenu(edit);
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

void TFm_Main::BuildWipeMenu(QMenu* edit) {
  mnu_Wipe = edit->addMenu(Text(kMenuWipe));
  mnu_Wipe->setObjectName(QStringLiteral("mnu_Wipe"));
  mnu_Wipe->setToolTipsVisible(true);
  mnu_WipeGrey = AddCommand(mnu_Wipe, "mnu_WipeGrey", kMenuWipeGrey, &TFm_Main::mnu_WipeGreyClick);
  mnu_WipeFlat = AddCommand(mnu_Wipe, "mnu_WipeFlat", kMenuWipeFlat, &TFm_Main::mnu_WipeFlatClick);
  mnu_WipeMosaic =
      AddCommand(mnu_Wipe, "mnu_WipeMosaic", kMenuWipeMosaic, &TFm_Main::mnu_WipeMosaicClick);
  // Told where the mosaic is chosen, before it is made.
  mnu_WipeMosaic->setToolTip(Text(kMsgMosaicReversible));
  auto* fills = new QActionGroup(mnu_Wipe);
  for (QAction* fill : {mnu_WipeGrey, mnu_WipeFlat, mnu_WipeMosaic}) {
    fill->setCheckable(true);
    fills->addAction(fill);
  }
  // While the fills are offered, the frame shows the MCUs a wipe would blank.
  connect(mnu_Wipe, &QMenu::aboutToShow, this, [this] {
    const std::array fillActions = {mnu_WipeGrey, mnu_WipeFlat, mnu_WipeMosaic};
    fillActions[std::clamp(controller_->Settings().gWipeFill, 0, 2)]->setChecked(true);
    RunCommand([this] { controller_->ShowWipeRegion(true); });
  });
  connect(mnu_Wipe, &QMenu::aboutToHide, this,
          [this] { RunCommand([this] { controller_->ShowWipeRegion(false); }); });
}

}  // namespace tarvo
