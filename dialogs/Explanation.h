// The explanation shown before the selection-adjust function runs, with its yes/no question.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tarvo {

class TFm_Explanation : public QDialog {
  Q_OBJECT

 public:
  explicit TFm_Explanation(QWidget* parent = nullptr);

  // With show false answers true at once. Otherwise asks, sets show to false when the user
  // ticked "do not show again", and returns the answer. Closing the dialog without a button
  // keeps the answer of the previous showing (false before any).
  bool ShowExplanation(bool& show);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void btn_YesClick();
  void btn_NoClick();

  QLabel* Lbl_Title;
  QPlainTextEdit* Memo;
  QLabel* Lbl_confirm;
  QPushButton* btn_Yes;
  QPushButton* btn_No;
  QCheckBox* CheckBox;
  bool answer_ = false;
};

}  // namespace tarvo
