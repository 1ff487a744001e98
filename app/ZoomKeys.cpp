#include "ZoomKeys.h"

namespace tarvo {

std::optional<TZoomStep> ZoomKeyOf(int key, Qt::KeyboardModifiers modifiers) {
  if (!modifiers.testFlag(Qt::ControlModifier) || !modifiers.testFlag(Qt::KeypadModifier)) {
    return std::nullopt;
  }
  if (key == Qt::Key_Plus) return TZoomStep::In;
  if (key == Qt::Key_Minus) return TZoomStep::Out;
  return std::nullopt;
}

}  // namespace tarvo
