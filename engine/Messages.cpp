#include "Messages.h"

namespace tarvo {

std::string FormatMessage(std::string_view pattern, std::string_view argument) {
  std::string text(pattern);
  if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

}  // namespace tarvo
