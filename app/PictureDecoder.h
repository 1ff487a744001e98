// Decodes the document's JPEG bytes for display: full size, 24-bit colour, with libjpeg-turbo.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include <QImage>

namespace tarvo {

// A decoder failure; what() is "JPEG エラー #<libjpeg's message code>" (UTF-8), shown as it is
// by the window's general error handler.
class EPictureError : public std::runtime_error {
 public:
  explicit EPictureError(int code);
  int Code() const { return code_; }

 private:
  int code_;
};

// Decodes at full size into QImage::Format_RGB888 (grey pictures are expanded to RGB).
// Damaged entropy data decodes as far as libjpeg can take it; anything libjpeg refuses throws
// EPictureError.
QImage DecodePicture(std::span<const std::uint8_t> jpeg);

}  // namespace tarvo
