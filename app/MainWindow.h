// The main window TFm_Main: toolbar, menus, view and status bar around the controller that runs
// the commands.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

#include "MainController.h"
#include "SettingsStore.h"

class QAction;
class QLabel;
class QMenu;
class QToolButton;
class QWidget;

namespace tarvo {

class TFm_Explanation;
class TFm_Help;
class TFm_Options;
class TPaintBox;
class TScrollBox;
class TTrimModeCombo;
class TViewRateCombo;
class TWindowPrompts;
struct TWindowSettings;

class TFm_Main : public QMainWindow, private TMainView {
  Q_OBJECT

 public:
  // The settings are read from store at creation and written back to it when the window
  // closes; without one, the user's own store is used.
  // work says how the document does its work (see TDocumentWork).
  explicit TFm_Main(std::unique_ptr<TSettingsStore> store = nullptr, TDocumentWork work = {});
  ~TFm_Main() override;

  // The dialogs are created after the main window; the commands show them modally.
  void SetDialogs(TFm_Help* help, TFm_Explanation* explanation, TFm_Options* options);
  // What the options dialog edits.
  TTrimModeList& TrimModeList() { return controller_->TrimModeList(); }
  TAppSettings& Settings() { return controller_->Settings(); }
  // The program's arguments (without the program name); the first show opens the first one.
  void SetArguments(const QStringList& arguments);

  TMainController& Controller() { return *controller_; }
  void OpenDocument(const QString& path) { controller_->OpenDocument(path); }
  const TDocument& Document() const { return controller_->Document(); }
  TSelection& Selection() { return controller_->Selection(); }
  const TViewMapping& View() const { return controller_->View(); }
  const TCommandStates& CommandStates() const { return controller_->CommandStates(); }

  // Enables each menu item together with its toolbar button.
  void SetCommandStates(const TCommandStates& states) override;
  QString StatusText() const;

  // Runs one command; an exception escaping it ends the command and is shown by the general
  // error handler, leaving the window usable.
  void RunCommand(const std::function<void()>& command);

  void mnu_OpenFileClick();
  void mnu_SaveFileClick();
  void mnu_SaveAsFileClick();
  void mnu_CloseFileClick();
  void mnu_ExitClick();
  void mnu_GoOperationClick();
  void mnu_UndoClick();
  void mnu_RedoClick();
  void mnu_AdjustRectClick();
  void mnu_TurnRightClick();
  void mnu_TurnLeftClick();
  void mnu_Turn180Click();
  void mnu_FlipHorizontalClick();
  void mnu_FlipVerticalClick();
  void mnu_TurnUprightClick();
  void mnu_WipeGreyClick();
  void mnu_WipeFlatClick();
  void mnu_WipeMosaicClick();
  void a1Click();
  void mnu_OptionClick();
  void mnu_ZoomInClick();
  void mnu_ZoomOutClick();
  void mnu_TopicClick();
  void mnu_AboutClick();

  // Lays the view out at the combo's rate (only while a picture is shown).
  void Cbo_ViewRateChange();
  // A rate chosen in the combo: applied, and the combo gives up the keyboard focus.
  void Cbo_ViewRateSelect();

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The widgets, menus and toolbar, at their designed places (MainWindowWidgets.cpp).
  void BuildWidgets();
  void BuildToolbar(QWidget* panel);
  void BuildMenus();
  void BuildWipeMenu(QMenu* edit);
  QAction* AddCommand(QMenu* menu, const char* name, const char* caption,
                      void (TFm_Main::*handler)());
  QToolButton* AddImageButton(QWidget* panel, const char* name, const char* icon, int left,
                              const char* tooltip, void (TFm_Main::*handler)());

  void FormCreate();
  void FormShow();
  void FormClose();
  void ApplySettings(const TWindowSettings& stored);
  // The window width at which the toolbar's and the status bar's longest texts show whole.
  int WidthForTexts() const;
  // A mode chosen in the combo: applied, and the combo gives up the keyboard focus.
  void Cbo_TrimModeSelect();
  void RebuildTrimModeCombo();
  // Every key press of the window, before the focused control gets it.
  void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
  void SetInformationText(const QString& text) override;
  // The information text as it fits between the combos and the window's right edge.
  void FitInformationText();

  // TMainView
  int ViewRateIndex() const override;
  QSize ViewAreaSize() const override;
  int TrimModeIndex() const override;
  void ShowPicture(const TPicture& picture, std::int32_t num, std::int32_t den) override;
  void ShowPatch(const TPicturePatch& patch) override;
  void SetViewSize(int width, int height) override;
  void SetStatusText(const QString& text) override;
  void SetTitle(const QString& title, bool modified) override;
  void RepaintFrame(const TTrimRect& viewRect) override;
  void ShowDamage(const std::vector<TTrimRect>& regions) override;
  void SetPointer(TPointerShape shape) override;
  void ShowError(const QString& text) override;
  void CloseAgain() override;
  QString ChooseFileToOpen() override;
  bool ExplainAdjustRect(bool& showNextTime) override;

  QWidget* Pnl_Menu = nullptr;
  QToolButton* Sbn_OpenFile = nullptr;
  QToolButton* Sbn_SaveAsFile = nullptr;
  QToolButton* Sbn_Cut = nullptr;
  QToolButton* Sbn_Undo = nullptr;
  QToolButton* Sbn_AdjustRect = nullptr;
  TViewRateCombo* Cbo_ViewRate = nullptr;
  TTrimModeCombo* Cbo_TrimMode = nullptr;
  QLabel* Lbl_Information = nullptr;
  TScrollBox* ScrollBox = nullptr;
  TPaintBox* PaintBox = nullptr;
  QLabel* StatusBarText = nullptr;

  QAction* mnu_OpenFile = nullptr;
  QAction* mnu_SaveFile = nullptr;
  QAction* mnu_SaveAsFile = nullptr;
  QAction* mnu_CloseFile = nullptr;
  QAction* mnu_Exit = nullptr;
  QAction* mnu_GoOperation = nullptr;
  QAction* mnu_Undo = nullptr;
  QAction* mnu_Redo = nullptr;
  QAction* mnu_AdjustRect = nullptr;
  QAction* mnu_TurnRight = nullptr;
  QAction* mnu_TurnLeft = nullptr;
  QAction* mnu_Turn180 = nullptr;
  QAction* mnu_FlipHorizontal = nullptr;
  QAction* mnu_FlipVertical = nullptr;
  QAction* mnu_TurnUpright = nullptr;
  // "選択範囲を塗りつぶす" and its fills, the one last used checked.
  QMenu* mnu_Wipe = nullptr;
  QAction* mnu_WipeGrey = nullptr;
  QAction* mnu_WipeFlat = nullptr;
  QAction* mnu_WipeMosaic = nullptr;
  QAction* a1 = nullptr;
  QAction* mnu_Option = nullptr;
  QAction* mnu_ZoomIn = nullptr;
  QAction* mnu_ZoomOut = nullptr;
  QAction* mnu_Topic = nullptr;
  QAction* mnu_About = nullptr;

  // The selection's information as the controller gave it, before fitting.
  QString informationText_;
  // Where the open dialog starts: the folder of the file last chosen in it.
  QString openFolder_;

  TFm_Help* helpDialog_ = nullptr;
  TFm_Explanation* explanationDialog_ = nullptr;
  TFm_Options* optionsDialog_ = nullptr;

  std::unique_ptr<TSettingsStore> settingsStore_;
  std::unique_ptr<TWindowPrompts> prompts_;
  std::unique_ptr<TMainController> controller_;

  QStringList arguments_;
  bool FirstShow = false;
  bool openAfterFirstPaint_ = false;
};

}  // namespace tarvo
