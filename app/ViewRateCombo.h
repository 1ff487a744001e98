// The toolbar's view-rate combo: the seven rates, and a drop-down list as wide as the trim-mode
// combo's, so both lists open alike.
#pragma once

#include <QComboBox>

namespace tarvo {

class TViewRateCombo : public QComboBox {
  Q_OBJECT

 public:
  explicit TViewRateCombo(QWidget* parent = nullptr);

  // The trim-mode combo's widest title plus widest explanation, measured when it was filled.
  void SetModeDropDownWidth(int width) { modeDropDownWidth_ = width; }

  void showPopup() override;

 private:
  int modeDropDownWidth_ = 0;
};

}  // namespace tarvo
