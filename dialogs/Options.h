// The options dialog: general settings and the user's trim-mode presets.
//
// Created once by the main window and kept for the whole run:
//   TFm_Options options(TrimModes, AppSettings, this);
//   options.Execute();            // modal; true when OK committed the changes
//   RebuildTrimModeCombo();       // after every showing, whatever the answer
// The dialog edits a working copy; only OK writes TrimModes and the four general settings back.
// It never touches the settings store.
#pragma once

#include <QDialog>
#include <memory>

#include "AppSettings.h"
#include "OptionsEditor.h"
#include "TrimModePreset.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace tarvo {

class TEditEx;

inline constexpr char kMsgFillAllFields[] = "すべての項目に記入してください";
inline constexpr char kMsgResetTrimModes[] =
    "登録している切り取りモードを最初の状態に戻します。\nよろしいですか？";
inline constexpr char kMsgNotAnInteger[] = "'%s' は整数ではありません";

// The dialog's message boxes; tests replace them to answer without a user.
class TOptionsPrompts {
 public:
  virtual ~TOptionsPrompts() = default;
  virtual void Message(QWidget* parent, const QString& text) = 0;  // plain, OK only
  virtual void Error(QWidget* parent, const QString& text) = 0;    // caption "エラー"
  virtual bool Confirm(QWidget* parent, const QString& text) = 0;  // caption "確認", はい/いいえ
};

class TFm_Options : public QDialog {
  Q_OBJECT

 public:
  // trimModes and appSettings belong to the main window and must outlive the dialog. Without
  // prompts the dialog uses message boxes.
  TFm_Options(TTrimModeList& trimModes, TAppSettings& appSettings, QWidget* parent = nullptr,
              std::unique_ptr<TOptionsPrompts> prompts = nullptr);
  ~TFm_Options() override;

  // Shows the dialog modally on a fresh copy of the settings. True when OK was pressed.
  bool Execute();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* CreateGeneralTab();
  QWidget* CreateTrimModeTab();

  void FormShow();
  void TabSheet2Resize();
  void GridSelectCell(int row);
  void Btn_UpdateClick();
  void Btn_DeleteClick();
  void Btn_InitClick();
  void Btn_OKClick();

  void RefreshGrid();
  void ShowSelectedRow();

  TTrimModeList& trimModes_;
  TAppSettings& appSettings_;
  std::unique_ptr<TOptionsPrompts> prompts_;
  TOptionsEditor editor_;

  QTabWidget* tabs_ = nullptr;
  QCheckBox* chk_AllowDropExif = nullptr;
  QCheckBox* chk_KeepThumbnails = nullptr;
  QCheckBox* chk_KeepTimeStamp_Create = nullptr;
  QCheckBox* chk_KeepTimeStamp_Write = nullptr;
  QComboBox* Cbo_gSaveFolder = nullptr;
  QTableWidget* Grid = nullptr;
  QLineEdit* Txt_Title = nullptr;
  QLineEdit* Txt_Explanation = nullptr;
  TEditEx* Txt_AspectRatio_X = nullptr;
  TEditEx* Txt_AspectRatio_Y = nullptr;
  QCheckBox* chk_ExtendSize = nullptr;
  QCheckBox* Chk_FixAspectRatio = nullptr;
  QPushButton* Btn_Delete = nullptr;
};

}  // namespace tarvo
