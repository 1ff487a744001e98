#include "ViewRateCombo.h"

#include <QAbstractItemView>
#include <QStyle>

#include "ViewMapping.h"

namespace tarvo {

TViewRateCombo::TViewRateCombo(QWidget* parent) : QComboBox(parent) {
  for (const TViewRate& rate : kViewRates) {
    addItem(QString::fromUtf8(rate.Text.data(), static_cast<qsizetype>(rate.Text.size())));
  }
  setCurrentIndex(kViewRateOneToOne);
}

void TViewRateCombo::showPopup() {
  // The list is never narrower than the combo itself.
  view()->setMinimumWidth(DropDownListWidth(modeDropDownWidth_, count(), maxVisibleItems(),
                                            style()->pixelMetric(QStyle::PM_ScrollBarExtent)));
  QComboBox::showPopup();
}

}  // namespace tarvo
