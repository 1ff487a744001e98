#include "ToolbarCombo.h"

#include <QAbstractItemView>
#include <QStyle>
#include <QWheelEvent>

#include "ViewMapping.h"

namespace tarvo {

TToolbarCombo::TToolbarCombo(QWidget* parent) : QComboBox(parent) {
  setMaxVisibleItems(kDropDownCount);
}

void TToolbarCombo::ShowPopupAtLeast(int width) {
  view()->setMinimumWidth(DropDownListWidth(width, count(), maxVisibleItems(),
                                            style()->pixelMetric(QStyle::PM_ScrollBarExtent)));
  QComboBox::showPopup();
}

void TToolbarCombo::wheelEvent(QWheelEvent* event) { event->ignore(); }

}  // namespace tarvo
