// Single-line edit field for non-negative decimal numbers: typed text is digits only,
// right-aligned.
#pragma once

#include <QLineEdit>

namespace tarvo {

// Typing refuses every printable character except 0-9; control keys (backspace, Enter, Escape,
// the Ctrl shortcuts such as paste) and cursor keys pass through. Pasted text is not filtered,
// so whoever reads the number must still check it. There is no sign, digit limit or range.
class TEditEx : public QLineEdit {
  Q_OBJECT

 public:
  explicit TEditEx(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  static bool IsNumericKey(QChar key);
};

}  // namespace tarvo
