// The plain procedures through which the engine reports to whoever drives it.
#pragma once

#include <functional>
#include <string>

namespace tarvo {

// Message severity: 0 information, 1 warning, 2 error. The engine passes 2 when it refuses,
// and 1 for what it read past in a damaged file, once it has read the file on.
using TMessageProc = std::function<void(const std::string& text, int severity)>;
using TProgressProc = std::function<void(int)>;

inline constexpr int kSeverityWarning = 1;
inline constexpr int kSeverityError = 2;

}  // namespace tarvo
