// The zoom keys: Ctrl with the numeric keypad's plus or minus.
#pragma once

#include <Qt>
#include <optional>

namespace tarvo {

enum class TZoomStep { In, Out };

// Qt strips the keypad modifier before it matches shortcuts, so a keypad-only shortcut never
// fires on a real keyboard; the window reads its key presses instead. The main keyboard's plus
// and minus (no keypad modifier) give nothing.
std::optional<TZoomStep> ZoomKeyOf(int key, Qt::KeyboardModifiers modifiers);

}  // namespace tarvo
