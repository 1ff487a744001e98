// Exceptions of the stream and file layer: the only exceptions the engine lets through.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvo {

// Raised when a read, write, open or create fails; what() is the user-facing text (UTF-8).
class EStreamError : public std::runtime_error {
 public:
  explicit EStreamError(std::string_view text) : std::runtime_error(std::string(text)) {}
};

}  // namespace tarvo
