// The window's embedded icons.
#pragma once

namespace tarvo {

// Registers the icons of the static window library; the linker would otherwise drop them.
void InitResources();

}  // namespace tarvo
