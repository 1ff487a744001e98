// Japanese-capable fonts standing in for the window's gothic and mincho faces.
#pragma once

#include <QFont>

namespace tarvo {

// Fixed-pitch gothic, 15 pixels: the window's own font, so padded figures line up.
QFont GothicFont();
// Serif (mincho) face, 15 pixels, for the view-rate list.
QFont MinchoFont();

}  // namespace tarvo
