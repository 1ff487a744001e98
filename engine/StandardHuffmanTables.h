// The example Huffman tables of ITU-T T.81 K.3, which Motion-JPEG frames leave out.
#pragma once

#include <cstdint>
#include <span>

namespace tarvo {

struct TStandardHuffmanTable {
  std::uint8_t Counts[16];  // BITS[1..16]: the number of codes of each length
  std::span<const std::uint8_t> Symbols;
};

// Destination 0 takes the luminance tables and destination 1 the chrominance ones, as
// decoders do for a scan that selects a table its file never defines; destination must be
// below kStandardHuffmanDestinations.
inline constexpr int kStandardHuffmanDestinations = 2;
const TStandardHuffmanTable& StandardHuffmanTable(int tableClass, int destination);

}  // namespace tarvo
