// Huffman coding of one 8x8 block of quantised coefficients (ITU-T T.81 F.1.2, F.2.2),
// table-driven for decoding and with per-symbol codes for encoding.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "HuffmanTable.h"
#include "McuWalk.h"

namespace tarvo {

// Coefficients in a block.
inline constexpr int kBlockSize = 64;
// The most magnitude bits the low nibble of a symbol names. DC categories run to 11 for 8-bit
// samples; 16 would need more bits than ReadBits serves.
inline constexpr int kMaxCategory = 15;

// The next symbol of table, or -1 when no code matches; a failed match has read as many bits
// as the table's longest code.
int DecodeSymbol(TBitBuffer& bits, const THuffmanTable& table);

// Codes longer than the lookahead, and decoding near a marker or the end of the stream, for a
// buffer whose lookahead found nothing. Takes and gives the buffer by value, so that a hot
// loop's copy can stay in registers.
struct TSlowSymbol {
  TBitBuffer Bits;
  int Symbol;
};
TSlowSymbol DecodeSymbolSlowly(TBitBuffer bits, const THuffmanTable& table);

// The common case inline: a code within the lookahead.
[[gnu::always_inline]] inline int DecodeSymbolFast(TBitBuffer& bits, const THuffmanTable& table) {
  if (bits.Prefetch() >= 16) {
    const std::uint16_t entry = table.Lookahead[bits.PeekBits(THuffmanTable::kLookaheadBits)];
    if (entry != 0) {
      bits.SkipBits(entry >> 8);
      return entry & 0xFF;
    }
  }
  const TSlowSymbol slow = DecodeSymbolSlowly(bits, table);
  bits = slow.Bits;
  return slow.Symbol;
}

inline int DecodeSymbol(TInBitStreamFile& reader, const THuffmanTable& table) {
  return DecodeSymbol(reader.Bits(), table);
}

// Number of magnitude bits of value (0 for 0).
inline int MagnitudeCategory(int value) {
  return std::bit_width(static_cast<unsigned>(std::abs(value)));
}

// Bit k set for each coefficient k of block that is not zero. Most coefficients are zero, so
// coders visit only the others; the compares are laid out for the compiler to do them eight or
// more at a time, and each eight flags are gathered into a byte by one multiplication.
inline std::uint64_t NonZeroMask(const std::int16_t* block) {
  std::uint8_t flags[kBlockSize];
  for (int k = 0; k < kBlockSize; ++k) flags[k] = block[k] != 0 ? 1 : 0;
  std::uint64_t mask = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (int i = 0; i < kBlockSize / 8; ++i) {
      std::uint64_t eight;
      std::memcpy(&eight, flags + 8 * i, sizeof eight);
      // Flag j (bit 8j) lands on bit 56 + j and nothing else reaches bits 56..63: the products
      // 8j + 7t, t = 1..8, are all different.
      mask |= (eight * std::uint64_t{0x0102040810204080} >> 56) << (8 * i);
    }
  } else {
    for (int k = 0; k < kBlockSize; ++k) mask |= std::uint64_t{flags[k]} << k;
  }
  return mask;
}

// Decodes one block into 64 coefficients in scan (zig-zag) order, the DC coefficient made
// absolute with predictor, which then holds it. False on a code that matches nothing, a DC
// category of 16 or more, or a run past coefficient 63.
bool DecodeBlock(TBitBuffer& bits, const THuffmanTable& dc, const THuffmanTable& ac, int& predictor,
                 std::int16_t* block);
inline bool DecodeBlock(TInBitStreamFile& reader, const THuffmanTable& dc, const THuffmanTable& ac,
                        int& predictor, std::int16_t* block) {
  return DecodeBlock(reader.Bits(), dc, ac, predictor, block);
}

// Blocks in one MCU at most (ITU-T T.81 B.2.3).
inline constexpr int kMaxMcuBlocks = 10;

// The blocks of one MCU in coding order: the tables each is read with and its component's index
// in the scan, whose DC predictor it is coded against.
struct TMcuTables {
  int Count = 0;
  std::array<const THuffmanTable*, kMaxMcuBlocks> Dc{};
  std::array<const THuffmanTable*, kMaxMcuBlocks> Ac{};
  std::array<std::uint8_t, kMaxMcuBlocks> Component{};
};
// The blocks of layout's MCUs with the tables of each scan component; nothing for more blocks
// than an MCU may hold.
std::optional<TMcuTables> McuTablesOf(
    const std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents>& dc,
    const std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents>& ac,
    const TMcuLayout& layout);

// Reads past the blocks of one MCU as DecodeBlock decodes each, keeping only their DC values:
// in predictors, by component, and in dcs, in coding order. False where a block does not
// decode or has taken bits from a marker; the blocks after it are not read.
bool SkipMcu(TBitBuffer& bits, const TMcuTables& tables, int* predictors, std::int16_t* dcs);

// Writes the DC difference; false when the table has no code for its category.
bool EncodeDc(TOutBitStreamFile& writer, const THuffmanEncodeTable& table, int difference);
// Writes value after run (0..15) zeros; value 0 with run 15 is ZRL, with run 0 EOB.
bool EncodeAc(TOutBitStreamFile& writer, const THuffmanEncodeTable& table, int value, int run);
// Writes one block coded against predictor, which then holds its DC value; false when a
// symbol it needs has no code in the tables.
bool EncodeBlock(TOutBitStreamFile& writer, const THuffmanEncodeTable& dc,
                 const THuffmanEncodeTable& ac, int& predictor, const std::int16_t* block);

}  // namespace tarvo
