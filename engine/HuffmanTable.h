// One Huffman table as a DHT segment gives it, with what decoding and encoding derive from it.
#pragma once

#include <array>
#include <cstdint>

namespace tarvo {

struct THuffmanTable {
  // Codes are looked up this many bits at a time; longer codes take the slow path.
  static constexpr int kLookaheadBits = 10;

  // The DHT lists, in the order the segment gives the symbols (so lengths never decrease).
  int Count = 0;
  std::array<std::uint8_t, 256> Lengths{};
  std::array<std::uint8_t, 256> Symbols{};
  std::array<std::uint16_t, 256> Codes{};

  // Canonical decoding (ITU-T T.81 F.2.2.3): the largest code of each length (-1 when the
  // length has none) and the list position of its first code, minus that code.
  std::array<std::int32_t, 18> MaxCode{};
  std::array<std::int32_t, 17> ValueOffset{};
  int MaxLength = 0;
  // Indexed by the next kLookaheadBits bits: code length << 8 | symbol, 0 when the code is
  // longer or missing.
  std::array<std::uint16_t, 1u << kLookaheadBits> Lookahead{};
  // For AC tables: a code and its magnitude bits together within kLookaheadBits, decoded in
  // one step. Value << 16 | EOB flag | run << 8 | bits used; 0 when the pair is longer.
  static constexpr std::int32_t kFastEob = 1 << 12;
  std::array<std::int32_t, 1u << kLookaheadBits> FastAc{};
  // For reading past AC codes without their values: indexed by the next kSkipBits bits, the
  // whole symbols (codes with their magnitude bits) those bits hold, taken in one step; or, when
  // the first symbol's magnitude bits reach past them, that symbol alone, its code within them.
  // Used and Advance are apart, so that a reader can shift by the one straight from memory.
  struct TSkipStep {
    std::uint8_t Used = 0;  // bits
    // The coefficients passed, which stop short of 64, plus kSkipEob when the last symbol is an
    // EOB; kSkipNone when not even the first code fits. A reader that adds the advance to its
    // coefficient finds both an overrun and no fit in bit 6 of the sum, and an EOB at 128 or more.
    std::uint8_t Advance = kSkipNone;
  };
  static constexpr int kSkipBits = 12;
  static constexpr std::uint8_t kSkipNone = 64;
  static constexpr std::uint8_t kSkipEob = 128;
  std::array<TSkipStep, 1u << kSkipBits> SkipAc{};

  // Fills the lists from BITS[1..16] and the symbols (ITU-T T.81 Annex C) and derives the
  // decoding tables. counts must describe a prefix code that fits in 16 bits.
  void Assign(const std::uint8_t (&counts)[16], const std::uint8_t* symbols);
  void Clear() { *this = THuffmanTable{}; }

 private:
  void BuildSkipAc();
};

// Per-symbol code and length for writing; length 0 marks a symbol the table has no code for.
struct THuffmanEncodeTable {
  std::array<std::uint16_t, 256> Code{};
  std::array<std::uint8_t, 256> Length{};
  // Later positions win when a symbol is listed twice, as the lookup by position does.
  void Build(const THuffmanTable& table);
};

// The EXTEND rule (ITU-T T.81 F.2.2.1): size bits with a leading 0 stand for a negative value.
// Without a branch, as the sign of a value is anyone's guess: bits below half of 1 << size (none
// for size 0) give all 1-bits for the mask.
inline int ExtendMagnitude(std::uint32_t bits, int size) {
  const int value = static_cast<int>(bits);
  const int half = (1 << size) >> 1;
  return value - (((value - half) >> 31) & ((1 << size) - 1));
}

// True when the code lengths of counts fit a prefix code of at most 16 bits that leaves the
// all-1-bits word of every length unused.
bool IsValidCodeLengthCounts(const std::uint8_t (&counts)[16]);

}  // namespace tarvo
