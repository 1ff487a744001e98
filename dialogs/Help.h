// The About dialog: the program's icon (the application's window icon), name, version and
// rights notice.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarvo {

class TFm_Help : public QDialog {
  Q_OBJECT

 public:
  explicit TFm_Help(QWidget* parent = nullptr);

 private:
  void btn_closeClick();

  QLabel* Image;
  QLabel* Lbl_01;
  QLabel* Lbl_02;
  QLabel* lbl_03;
  QPushButton* btn_close;
};

}  // namespace tarvo
