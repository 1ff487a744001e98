// Where the main window opens: as stored, unless that would leave part of it out of sight.
#pragma once

#include <QList>
#include <QRect>

namespace tarvo {

// What a window manager's title bar takes above the client area, at the least.
inline constexpr int kTitleBarHeight = 24;

// placement is the window's top left corner (its frame's) and its client size. A window that
// lies whole on a screen's available area is kept as it is. Any other is shrunk to fit the
// screen it overlaps most, title bar included, and moved the least that puts it whole on it; a
// window on none of the screens (a placement stored under another monitor layout or scale)
// is centred on the primary screen's area.
QRect FittedPlacement(const QRect& placement, const QList<QRect>& screens, const QRect& primary);

}  // namespace tarvo
