#include "ViewRateCombo.h"

#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

#include "ViewMapping.h"

namespace tarvo {

TViewRateCombo::TViewRateCombo(QWidget* parent) : TToolbarCombo(parent) {
  for (const TViewRate& rate : kViewRates) {
    addItem(QString::fromUtf8(rate.Text.data(), static_cast<qsizetype>(rate.Text.size())));
  }
  addItem(
      QString::fromUtf8(kViewRateFitText.data(), static_cast<qsizetype>(kViewRateFitText.size())));
  setCurrentIndex(kViewRateOneToOne);
}

void TViewRateCombo::showPopup() { ShowPopupAtLeast(modeDropDownWidth_); }

int TViewRateCombo::WidthShowing(const QString& text) const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const QFontMetrics metrics = fontMetrics();
  const QSize contents(metrics.horizontalAdvance(text), metrics.height());
  return style()->sizeFromContents(QStyle::CT_ComboBox, &option, contents, this).width();
}

int TViewRateCombo::WidthShowingEveryItem() const {
  int width = 0;
  for (int i = 0; i < count(); ++i) width = std::max(width, WidthShowing(itemText(i)));
  return width;
}

}  // namespace tarvo
