// Pictures made from decoded pixels. The engine codes coefficients only; whoever drives it hands
// in a maker built on a full JPEG codec for the few pictures that must be drawn anew.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "DcPicture.h"
#include "Orientation.h"
#include "TrimRect.h"

namespace tarvo {

class TPictureMaker {
 public:
  virtual ~TPictureMaker() = default;
  static constexpr std::size_t kAnySize = std::numeric_limits<std::size_t>::max();
  // picture (a whole JPEG file) scaled down with a filter to fit maxWidth x maxHeight keeping its
  // aspect, never enlarged, as a baseline JPEG without metadata at about the quality the JPEG
  // file like was made with, or at quality (1 to 100) when given. A result longer than maxBytes
  // is made again at lower qualities until it fits. Empty when picture cannot be decoded or the
  // result does not fit.
  virtual std::vector<std::uint8_t> Smaller(std::span<const std::uint8_t> picture, int maxWidth,
                                            int maxHeight, std::span<const std::uint8_t> like,
                                            std::size_t maxBytes = kAnySize,
                                            int quality = 0) const = 0;
  // The same, drawn from dc, the DC picture of picture, when an eighth of picture's size is
  // enough to fill the box: no coded data is decoded. Only picture's header is read. Empty when
  // dc cannot serve; Smaller then can.
  virtual std::vector<std::uint8_t> SmallerFromDc(const TDcPicture& dc,
                                                  std::span<const std::uint8_t> picture,
                                                  int maxWidth, int maxHeight,
                                                  std::span<const std::uint8_t> like,
                                                  std::size_t maxBytes = kAnySize,
                                                  int quality = 0) const = 0;
  // The pixels of rect (inside picture) turned by turn, encoded again with picture's own
  // quantisation tables and sampling, without metadata. Empty when picture cannot be decoded.
  virtual std::vector<std::uint8_t> Recoded(std::span<const std::uint8_t> picture,
                                            const TTrimRect& rect,
                                            const TOrientation& turn = kAsStored) const = 0;
};

}  // namespace tarvo
