// The toolbar's view-rate combo: the seven rates and "ウィンドウに合わせる", and a drop-down list
// as wide as the trim-mode combo's, so both lists open alike.
#pragma once

#include "ToolbarCombo.h"

namespace tarvo {

class TViewRateCombo : public TToolbarCombo {
  Q_OBJECT

 public:
  explicit TViewRateCombo(QWidget* parent = nullptr);

  // The trim-mode combo's widest title plus widest explanation, measured when it was filled.
  void SetModeDropDownWidth(int width) { modeDropDownWidth_ = width; }

  void showPopup() override;

  // The width that shows text whole in the closed combo, in the font it is drawn with.
  int WidthShowing(const QString& text) const;
  // The width that shows every item whole, a rate's fraction included, in the closed combo.
  int WidthShowingEveryItem() const;

 private:
  int modeDropDownWidth_ = 0;
};

}  // namespace tarvo
