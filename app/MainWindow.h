// The main window TFm_Main: toolbar, menus, view, status bar, and the commands bound to them.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <span>

#include "CommandStates.h"
#include "ViewMapping.h"

class QAction;
class QComboBox;
class QDialog;
class QFileDialog;
class QLabel;
class QMenu;
class QToolButton;
class QWidget;

namespace tarvo {

class TFm_Explanation;
class TPaintBox;
class TScrollBox;
class TViewRateCombo;

class TFm_Main : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFm_Main(QWidget* parent = nullptr);
  ~TFm_Main() override;

  // The dialogs are created after the main window; the commands show them modally.
  void SetDialogs(QDialog* help, TFm_Explanation* explanation, QDialog* options);
  TFm_Explanation* ExplanationDialog() const { return explanationDialog_; }
  // The program's arguments (without the program name); the first show opens the first one.
  void SetArguments(const QStringList& arguments);

  void OpenDocument(const QString& path);

  // Enables each menu item together with its toolbar button.
  void SetCommandStates(const TCommandStates& states);
  void ApplyCommandEvent(TCommandEvent event);
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

  // The picture of the document: decoded once here (open, trim, undo), then only painted.
  // The sampling factors give the MCU grid. Raises EPictureError when the bytes do not decode.
  void LoadPicture(std::span<const std::uint8_t> jpeg, int maxHSampling, int maxVSampling);
  // No document: the paint area keeps its last size and shows nothing.
  void UnloadPicture();
  bool PictureLoaded() const { return PictureLoaded_; }
  const TViewMapping& View() const { return View_; }
  // Lays the view out at the combo's rate (only while a picture is loaded).
  void Cbo_ViewRateChange();
  // A rate chosen in the combo: applied, and the combo gives up the keyboard focus.
  void Cbo_ViewRateSelect();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  bool FormCloseQuery();
  void FormClose();
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
  QComboBox* Cbo_TrimMode = nullptr;
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

  QFileDialog* OpenDialog = nullptr;
  QFileDialog* SaveDialog = nullptr;

  QDialog* helpDialog_ = nullptr;
  TFm_Explanation* explanationDialog_ = nullptr;
  QDialog* optionsDialog_ = nullptr;

  TCommandStates commandStates_;
  QStringList arguments_;
  bool FirstShow = false;
  TViewMapping View_;
  bool PictureLoaded_ = false;
};

}  // namespace tarvo
