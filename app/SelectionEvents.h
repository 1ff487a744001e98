// Events the selection needs from around the window: key presses before the focused control
// sees them, and pointer moves over the toolbar panel. Neither is consumed.
#pragma once

#include <QObject>
#include <functional>
#include <optional>

#include "Selection.h"

class QKeyEvent;
class QWidget;

namespace tarvo {

// Ctrl+A with any other modifiers.
bool IsSelectAllKey(int key, Qt::KeyboardModifiers modifiers);
// The arrow key a key code stands for, if any.
std::optional<TArrowKey> ArrowKeyOf(int key);
// Shift or Ctrl turn an arrow key's move into a resize.
bool ArrowKeyResizes(Qt::KeyboardModifiers modifiers);

class TSelectionEventTaps : public QObject {
  Q_OBJECT

 public:
  // Watches the key presses of window's controls (installed on the application, since a key
  // goes to the focused control first) and the pointer moves over menuPanel itself.
  TSelectionEventTaps(QWidget* window, QWidget* menuPanel);
  ~TSelectionEventTaps() override;

  std::function<void(int key, Qt::KeyboardModifiers modifiers)> OnKeyDown;
  std::function<void()> OnMenuPanelMouseMove;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  QWidget* menuPanel_;
};

}  // namespace tarvo
