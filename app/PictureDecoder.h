// Decodes the document's JPEG bytes for display: 24-bit colour, at full size or reduced by
// libjpeg-turbo's DCT scaling, which averages each block down instead of dropping pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

#include <QImage>
#include <QSize>

namespace tarvo {

// A decoder failure; what() is "JPEG エラー #<libjpeg's message code>" (UTF-8), shown as it is
// by the window's general error handler, or for a picture too large for memory a text that says
// so with its frame's size.
class EPictureError : public std::runtime_error {
 public:
  explicit EPictureError(int code, QSize frame = {});
  int Code() const { return code_; }

 private:
  int code_;
};

// The reductions DCT scaling offers: one picture pixel for 1, 2x2, 4x4 or 8x8 image pixels.
inline constexpr int kPictureReductions[] = {1, 2, 4, 8};

// Decoded pixels and the frame they stand for. Pixels is Frame / Reduction, rounded up: the last
// column and row of a reduced picture cover what is left of the frame.
struct TPicture {
  QImage Pixels;
  QSize Frame;
  int Reduction = 1;
};

// Decodes into QImage::Format_RGB888 (grey pictures are expanded to RGB), reduced by one of
// kPictureReductions. Damaged entropy data decodes as far as libjpeg can take it; anything
// libjpeg refuses throws EPictureError.
TPicture DecodePicture(std::span<const std::uint8_t> jpeg, int reduction = 1);
// DecodePicture, or a stand-in for it.
using TPictureDecode = std::function<TPicture(std::span<const std::uint8_t> jpeg, int reduction)>;
// The frame size alone, from the header; throws EPictureError as DecodePicture does.
QSize ReadPictureFrame(std::span<const std::uint8_t> jpeg);

}  // namespace tarvo
