#include "HuffmanTable.h"

#include <algorithm>

namespace tarvo {

bool IsValidCodeLengthCounts(const std::uint8_t (&counts)[16]) {
  // Kraft: the codes of each length must fit in what the shorter ones leave free, and the
  // all-1-bits word of each length stays free (ITU-T T.81 C.2), as decoders require.
  std::uint32_t free = 1;
  int total = 0;
  for (int length = 0; length < 16; ++length) {
    free *= 2;
    if (counts[length] >= free) return false;
    free -= counts[length];
    total += counts[length];
  }
  return total <= 256;
}

void THuffmanTable::Assign(const std::uint8_t (&counts)[16], const std::uint8_t* symbols) {
  Clear();
  std::uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    code *= 2;
    if (counts[length - 1] == 0) {
      MaxCode[length] = -1;
      continue;
    }
    ValueOffset[length] = Count - static_cast<std::int32_t>(code);
    for (int i = 0; i < counts[length - 1]; ++i) {
      Lengths[Count] = static_cast<std::uint8_t>(length);
      Symbols[Count] = symbols[Count];
      Codes[Count] = static_cast<std::uint16_t>(code);
      ++Count;
      ++code;
    }
    MaxCode[length] = static_cast<std::int32_t>(code) - 1;
    MaxLength = length;
  }
  MaxCode[17] = 0x7FFFFFFF;
  for (int i = 0; i < Count && Lengths[i] <= kLookaheadBits; ++i) {
    const int spare = kLookaheadBits - Lengths[i];
    const std::uint32_t first = static_cast<std::uint32_t>(Codes[i]) << spare;
    const auto entry = static_cast<std::uint16_t>(Lengths[i] << 8 | Symbols[i]);
    for (std::uint32_t fill = 0; fill < (1u << spare); ++fill) {
      Lookahead[first + fill] = entry;
      const int run = Symbols[i] >> 4;
      const int size = Symbols[i] & 15;
      // EOB, and the runs without a coefficient that T.81 leaves undefined (all but ZRL):
      // decoders, libjpeg among them, end the block there too.
      if (size == 0 && run != 15) {
        FastAc[first + fill] = kFastEob | Lengths[i];
      } else if (size <= spare) {
        // The magnitude bits are the top `size` bits of the fill (EXTEND, ITU-T T.81 F.2.2.1).
        const std::uint32_t bits = fill >> (spare - size);
        const int value = ExtendMagnitude(bits, size);
        FastAc[first + fill] = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << 16) |
                               run << 8 | (Lengths[i] + size);
      }
    }
  }
  BuildSkipAc();
}

void THuffmanTable::BuildSkipAc() {
  // One symbol at a time first.
  std::array<TSkipStep, 1u << kSkipBits> one{};
  for (int i = 0; i < Count && Lengths[i] <= kSkipBits; ++i) {
    const int run = Symbols[i] >> 4;
    const int size = Symbols[i] & 15;
    const bool eob = size == 0 && run != 15;  // as FastAc reads them
    const int spare = kSkipBits - Lengths[i];
    const std::uint32_t first = static_cast<std::uint32_t>(Codes[i]) << spare;
    const TSkipStep step{static_cast<std::uint8_t>(Lengths[i] + (eob ? 0 : size)),
                         static_cast<std::uint8_t>(eob ? kSkipEob : run + 1)};
    std::fill_n(one.begin() + first, std::size_t{1} << spare, step);
  }
  // Then as many as the bits hold: a symbol shifted up to the top of the index is matched on
  // its own bits only when they are all below the index's end. A first symbol whose magnitude
  // bits reach past them stays alone.
  constexpr std::uint32_t kMask = (1u << kSkipBits) - 1;
  for (std::uint32_t index = 0; index <= kMask; ++index) {
    TSkipStep& steps = SkipAc[index];
    steps = one[index];
    if (steps.Advance == kSkipNone || steps.Used > kSkipBits) continue;
    while (steps.Advance < kSkipEob) {
      const TSkipStep step = one[(index << steps.Used) & kMask];
      if (step.Advance == kSkipNone || steps.Used + step.Used > kSkipBits ||
          steps.Advance + (step.Advance & (kSkipEob - 1)) >= 64) {
        break;
      }
      steps.Used = static_cast<std::uint8_t>(steps.Used + step.Used);
      steps.Advance = static_cast<std::uint8_t>(steps.Advance + step.Advance);
    }
  }
}

void THuffmanEncodeTable::Build(const THuffmanTable& table) {
  Code.fill(0);
  Length.fill(0);
  for (int i = 0; i < table.Count; ++i) {
    Code[table.Symbols[i]] = table.Codes[i];
    Length[table.Symbols[i]] = table.Lengths[i];
  }
}

}  // namespace tarvo
