// What both toolbar combos share: a list of eight items at a time, and a wheel that scrolls
// the picture instead of changing the chosen item.
#pragma once

#include <QComboBox>

namespace tarvo {

class TToolbarCombo : public QComboBox {
  Q_OBJECT

 public:
  static constexpr int kDropDownCount = 8;

  explicit TToolbarCombo(QWidget* parent = nullptr);

  // Shows the list, at least width wide (Qt never makes it narrower than the combo itself).
  void ShowPopupAtLeast(int width);

  // However the list closes (a choice, Escape, a click elsewhere), the keyboard goes back to
  // the picture: a combo left focused would take the next arrow key too, and one key would both
  // move the selection and change the zoom or the trim mode.
  void hidePopup() override;

 protected:
  // A turn of the wheel over a combo would jump the zoom or replace the selection with a
  // preset's; it goes on to the window, which scrolls.
  void wheelEvent(QWheelEvent* event) override;
};

}  // namespace tarvo
