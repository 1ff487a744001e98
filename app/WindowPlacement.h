// Where the main window opens: as stored, unless that would leave it out of the user's reach.
#pragma once

#include <QList>
#include <QRect>

namespace tarvo {

// What a window manager's title bar takes above the client area, at the least.
inline constexpr int kTitleBarHeight = 24;
// How much of the title bar must show on a screen for the user to grab it.
inline constexpr int kTitleBarGrip = 48;

// placement is the window's top left corner (its frame's) and its client size. When its title
// bar lies on none of the screens' available areas (a placement stored under another monitor
// layout or scale), the window is moved onto the primary screen's area, centred, and shrunk to
// fit it; any other placement is kept as it is.
QRect FittedPlacement(const QRect& placement, const QList<QRect>& screens, const QRect& primary);

}  // namespace tarvo
