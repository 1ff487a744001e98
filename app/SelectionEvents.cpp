#include "SelectionEvents.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace tarvo {

bool IsSelectAllKey(int key, Qt::KeyboardModifiers modifiers) {
  return key == Qt::Key_A && modifiers.testFlag(Qt::ControlModifier);
}

std::optional<TArrowKey> ArrowKeyOf(int key) {
  switch (key) {
    case Qt::Key_Left:
      return TArrowKey::Left;
    case Qt::Key_Up:
      return TArrowKey::Up;
    case Qt::Key_Right:
      return TArrowKey::Right;
    case Qt::Key_Down:
      return TArrowKey::Down;
    default:
      return std::nullopt;
  }
}

bool ArrowKeyResizes(Qt::KeyboardModifiers modifiers) {
  return modifiers.testAnyFlags(Qt::ShiftModifier | Qt::ControlModifier);
}

TSelectionEventTaps::TSelectionEventTaps(QWidget* window, QWidget* menuPanel)
    : QObject(window), window_(window), menuPanel_(menuPanel) {
  // One filter on the application sees both: every event passes it on its way to a widget.
  menuPanel_->setMouseTracking(true);
  qApp->installEventFilter(this);
}

TSelectionEventTaps::~TSelectionEventTaps() { qApp->removeEventFilter(this); }

bool TSelectionEventTaps::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    // A key the focused control ignores travels on to its parents; take it at its first stop
    // only, and only for this window (not a dialog or an open drop-down list).
    auto* receiver = static_cast<QWidget*>(watched);
    QWidget* focus = QApplication::focusWidget();
    const bool firstStop = focus != nullptr ? receiver == focus : receiver == window_;
    if (firstStop && receiver->window() == window_ && OnKeyDown) {
      const auto* key = static_cast<QKeyEvent*>(event);
      OnKeyDown(key->key(), key->modifiers());
    }
  } else if (event->type() == QEvent::MouseMove && watched == menuPanel_ && OnMenuPanelMouseMove) {
    OnMenuPanelMouseMove();
  }
  return false;
}

}  // namespace tarvo
