#include "AreaScaler.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

// For each output position along one axis: the source positions it covers and the share of
// each, which sum to one.
struct TTaps {
  std::vector<int> First;
  std::vector<std::vector<float>> Weights;
};

TTaps AreaTaps(int from, int to) {
  TTaps taps;
  const double step = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    const double start = i * step;
    const double end = std::min<double>(from, (i + 1) * step);
    const int first = static_cast<int>(std::floor(start));
    std::vector<float> weights;
    for (int s = first; s < end; ++s) {
      const double covered = std::min<double>(s + 1, end) - std::max<double>(s, start);
      weights.push_back(static_cast<float>(covered / (end - start)));
    }
    taps.First.push_back(first);
    taps.Weights.push_back(std::move(weights));
  }
  return taps;
}

}  // namespace

TPixelPicture ScaleByArea(const TPixelPicture& source, int width, int height) {
  const int channels = source.Channels;
  const TTaps across = AreaTaps(source.Width, width);
  const TTaps down = AreaTaps(source.Height, height);
  // Rows first, into floats, so rounding happens once.
  std::vector<float> rows(static_cast<std::size_t>(source.Height) * width * channels);
  for (int y = 0; y < source.Height; ++y) {
    const std::uint8_t* in = &source.Samples[static_cast<std::size_t>(y) * source.Width * channels];
    float* out = &rows[static_cast<std::size_t>(y) * width * channels];
    for (int x = 0; x < width; ++x) {
      const auto& weights = across.Weights[static_cast<std::size_t>(x)];
      for (std::size_t k = 0; k < weights.size(); ++k) {
        const std::uint8_t* pixel = in + (across.First[static_cast<std::size_t>(x)] + k) * channels;
        for (int c = 0; c < channels; ++c) out[x * channels + c] += weights[k] * pixel[c];
      }
    }
  }
  TPixelPicture scaled{
      width, height, channels,
      std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * channels)};
  const std::size_t rowSize = static_cast<std::size_t>(width) * channels;
  for (int y = 0; y < height; ++y) {
    const auto& weights = down.Weights[static_cast<std::size_t>(y)];
    for (std::size_t i = 0; i < rowSize; ++i) {
      float sum = 0;
      for (std::size_t k = 0; k < weights.size(); ++k) {
        sum += weights[k] * rows[(down.First[static_cast<std::size_t>(y)] + k) * rowSize + i];
      }
      scaled.Samples[y * rowSize + i] =
          static_cast<std::uint8_t>(std::clamp(sum + 0.5f, 0.0f, 255.0f));
    }
  }
  return scaled;
}

}  // namespace tarvo
