// The picture maker the window and tarvo-trim hand to the engine, built on libjpeg-turbo.
#pragma once

#include "PictureMaker.h"

namespace tarvo {

class TLibjpegPictureMaker final : public TPictureMaker {
 public:
  std::vector<std::uint8_t> Smaller(std::span<const std::uint8_t> picture, int maxWidth,
                                    int maxHeight, std::span<const std::uint8_t> like,
                                    std::size_t maxBytes = kAnySize,
                                    int quality = 0) const override;
  std::vector<std::uint8_t> SmallerFromDc(const TDcPicture& dc,
                                          std::span<const std::uint8_t> picture, int maxWidth,
                                          int maxHeight, std::span<const std::uint8_t> like,
                                          std::size_t maxBytes = kAnySize,
                                          int quality = 0) const override;
  std::vector<std::uint8_t> Recoded(std::span<const std::uint8_t> picture, const TTrimRect& rect,
                                    const TOrientation& turn = kAsStored) const override;
};

// The quality (1 to 100) at which libjpeg's scaled standard luminance table gives the first
// quantisation table of jpeg; 0 when it has none or cannot be read.
int EstimateJpegQuality(std::span<const std::uint8_t> jpeg);

}  // namespace tarvo
