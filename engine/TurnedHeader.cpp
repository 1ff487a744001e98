#include "TurnedHeader.h"

#include <cstddef>

#include "TurnedBlocks.h"

namespace tarvo {

std::vector<std::uint8_t> TransposedQuantTables(std::span<const std::uint8_t> body) {
  // Each table: precision and destination, then 64 steps of one or two bytes in zig-zag order
  // (ITU-T T.81 B.2.4.1).
  std::vector<std::uint8_t> out(body.begin(), body.end());
  std::size_t at = 0;
  while (at < body.size()) {
    const std::size_t size = (body[at] >> 4) == 0 ? 1 : 2;
    ++at;
    if (at + 64 * size > body.size()) break;
    for (int k = 0; k < 64; ++k) {
      const auto from = static_cast<std::size_t>(TransposedZigzag(k));
      for (std::size_t b = 0; b < size; ++b) {
        out[at + static_cast<std::size_t>(k) * size + b] = body[at + from * size + b];
      }
    }
    at += 64 * size;
  }
  return out;
}

}  // namespace tarvo
