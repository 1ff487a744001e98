// The main window TFm_Main: toolbar, menus, view, status bar, and the commands bound to them.
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "AppSettings.h"
#include "CommandStates.h"
#include "Document.h"
#include "LoadSaveSettings.h"
#include "Selection.h"
#include "TrimModePreset.h"
#include "ViewMapping.h"

class QAction;
class QImage;
class QComboBox;
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

class TFm_Main : public QMainWindow, private TSelectionHost {
  Q_OBJECT

 public:
  // The settings are read from store at creation and written back to it when the window
  // closes; without one, the user's own store is used.
  explicit TFm_Main(std::unique_ptr<TSettingsStore> store = nullptr);
  ~TFm_Main() override;

  // The dialogs are created after the main window; the commands show them modally.
  void SetDialogs(TFm_Help* help, TFm_Explanation* explanation, TFm_Options* options);
  TFm_Explanation* ExplanationDialog() const { return explanationDialog_; }
  // What the options dialog edits.
  TTrimModeList& TrimModeList() { return TrimModes; }
  TAppSettings& Settings() { return AppSettings; }
  // The program's arguments (without the program name); the first show opens the first one.
  void SetArguments(const QStringList& arguments);

  void OpenDocument(const QString& path);

  const TDocument& Document() const { return document_; }
  TSelection& Selection() { return selection_; }

  // Enables each menu item together with its toolbar button.
  void SetCommandStates(const TCommandStates& states);
  const TCommandStates& CommandStates() const { return commandStates_; }

  QString StatusText() const;
  void SetStatusText(const QString& text);
  void SetInformationText(const QString& text);

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
  void mnu_AdjustRectClick();
  void a1Click();
  void mnu_OptionClick();
  void mnu_ZoomInClick();
  void mnu_ZoomOutClick();
  void mnu_TopicClick();
  void mnu_AboutClick();

  const TViewMapping& View() const { return View_; }
  // Lays the view out at the combo's rate (only while a picture is loaded).
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

 private:
  void FormCreate();
  void FormShow();
  bool FormCloseQuery();
  void FormClose();
  void ApplySettings(const TWindowSettings& stored);
  // The status bar says so while a decode runs long, then shows its text again.
  void ShowSlowDecode(bool running);
  // The reduction of the picture the combo's rate paints from.
  int RateReduction() const;
  // The document's picture at the combo's rate, the view and the selection's grid laid out for
  // it. Raises EPictureError, changing nothing, when the picture does not decode.
  void ShowDocumentPicture();
  // Brings picture, selection, status text and command states up to what changed.
  void SyncToDocument(const TDocumentChange& change);
  // The command states for the document and the selection as they stand.
  void SyncCommandStates();
  void Cbo_TrimModeChange();
  // A mode chosen in the combo: applied, and the combo gives up the keyboard focus.
  void Cbo_TrimModeSelect();
  void RebuildTrimModeCombo();
  TTrimModeKind TrimModeKind() const;

  // The selection's gestures; the scrolling view reports its own and the paint area's events.
  void PaintBoxMouseDown(Qt::MouseButton button, Qt::MouseButtons buttons,
                         Qt::KeyboardModifiers modifiers, int x, int y);
  void PaintBoxMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
  void PaintBoxMouseUp(Qt::MouseButton button, Qt::MouseButtons buttons,
                       Qt::KeyboardModifiers modifiers, int x, int y);
  // Every key press of the window, before the focused control gets it.
  void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
  void Pnl_MenuMouseMove();

  // TSelectionHost
  void DrawSelection(const TSelectionRect& rect) override;
  void ClearInformation() override;
  void EnableSelectionCommands(bool enabled) override;
  void SetPointer(TPointerShape shape) override;

  void BuildToolbar(QWidget* panel);
  void BuildMenus();
  QAction* AddCommand(QMenu* menu, const char* name, const char* caption,
                      void (TFm_Main::*handler)());
  QToolButton* AddImageButton(QWidget* panel, const char* name, const char* icon, int left,
                              const char* tooltip, void (TFm_Main::*handler)());

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
  QAction* mnu_AdjustRect = nullptr;
  QAction* a1 = nullptr;
  QAction* mnu_Option = nullptr;
  QAction* mnu_ZoomIn = nullptr;
  QAction* mnu_ZoomOut = nullptr;
  QAction* mnu_Topic = nullptr;
  QAction* mnu_About = nullptr;

  // Where the open dialog starts: the folder of the file last chosen in it.
  QString openFolder_;

  TFm_Help* helpDialog_ = nullptr;
  TFm_Explanation* explanationDialog_ = nullptr;
  TFm_Options* optionsDialog_ = nullptr;

  std::unique_ptr<TSettingsStore> settingsStore_;
  TAppSettings AppSettings;
  TTrimModeList TrimModes;
  std::unique_ptr<TWindowPrompts> prompts_;
  TDocument document_;
  TSelection selection_;

  TCommandStates commandStates_;
  QStringList arguments_;
  bool FirstShow = false;
  bool openAfterFirstPaint_ = false;
  QString statusBeforeDecode_;
  TViewMapping View_;
};

}  // namespace tarvo
