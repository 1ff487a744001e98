#include "ToolbarCombo.h"

#include <QAbstractItemView>
#include <QProxyStyle>
#include <QStyle>
#include <QWheelEvent>

#include "ViewMapping.h"

namespace tarvo {

namespace {

// Styles such as Fusion open a combo's list as a menu-like popup around the chosen item and
// ignore the number of visible items; asking for the plain list makes eight items a page.
class TListPopupStyle final : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returned) const override {
    if (hint == SH_ComboBox_Popup) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returned);
  }
};

}  // namespace

TToolbarCombo::TToolbarCombo(QWidget* parent) : QComboBox(parent) {
  auto* listStyle = new TListPopupStyle;
  listStyle->setParent(this);
  setStyle(listStyle);
  setMaxVisibleItems(kDropDownCount);
}

void TToolbarCombo::ShowPopupAtLeast(int width) {
  view()->setMinimumWidth(DropDownListWidth(width, count(), maxVisibleItems(),
                                            style()->pixelMetric(QStyle::PM_ScrollBarExtent)));
  QComboBox::showPopup();
}

void TToolbarCombo::hidePopup() {
  QComboBox::hidePopup();
  clearFocus();
}

void TToolbarCombo::wheelEvent(QWheelEvent* event) { event->ignore(); }

}  // namespace tarvo
