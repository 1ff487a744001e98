// The progressive scan decoder (ITU-T T.81 G.1.2): DC and AC scans, first and refinement, with
// the bit order and end-of-band runs libjpeg reads, so that every block ends as libjpeg's.
#include <array>

#include "HuffmanBlockCoder.h"
#include "ScanDecoder.h"
#include "ScanWalk.h"

namespace tarvo {

namespace {

constexpr int kLastCoefficient = 63;

// A coefficient index a damaged run may carry past the band: libjpeg's natural-order table
// sends every index past 63 to 63, and so does this decoder.
int Clamped(int k) { return k > kLastCoefficient ? kLastCoefficient : k; }

std::int16_t Scaled(int value, int shift) {
  return static_cast<std::int16_t>(static_cast<unsigned>(value) << shift);
}

// Corrects a coefficient already non-zero by one refinement bit (ITU-T T.81 G.1.2.3): its
// magnitude grows by bit unless that bit is already set.
void Refine(TBitBuffer& bits, std::int16_t& coefficient, int bit) {
  if (bits.ReadBit() != 0 && (coefficient & bit) == 0) {
    coefficient =
        static_cast<std::int16_t>(coefficient >= 0 ? coefficient + bit : coefficient - bit);
  }
}

// An end-of-band symbol's run: 2^r blocks plus r more bits (ITU-T T.81 G.1.2.2).
int EobRun(TBitBuffer& bits, int r) { return (1 << r) + static_cast<int>(bits.ReadBits(r)); }

}  // namespace

EJpegError DecodeProgressiveScan(const TJpegModel& model, const TScan& scan,
                                 TInBitStreamFile& reader, TCoefficientStore& store,
                                 TScanReport& report) {
  std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents> tables{};
  const bool dc = scan.SpectralStart == 0;
  for (std::size_t c = 0; c < scan.Components.size(); ++c) {
    tables[c] = &model.Table(dc ? scan.Components[c].DcTable : scan.Components[c].AcTable);
  }
  const int start = scan.SpectralStart;
  const int end = scan.SpectralEnd;
  const int low = scan.ApproximationLow;
  const int bit = 1 << low;
  std::array<int, TCoefficientStore::kMaxComponents> predictor{};
  int eobRun = 0;
  const auto restart = [&] {
    predictor.fill(0);
    eobRun = 0;
  };
  const auto walk = [&](auto&& decode) {
    return WalkScan(model, scan, reader, store, report, decode, restart, model.McuRows);
  };

  if (dc && scan.ApproximationHigh == 0) {
    return walk([&](TBitBuffer& bits, std::size_t c, std::int16_t* block) {
      const int category = DecodeSymbolFast(bits, *tables[c]);
      if (category < 0) return false;
      const int difference = ExtendMagnitude(bits.ReadBits(category), category);
      predictor[c] = static_cast<std::int16_t>(predictor[c] + difference);
      block[0] = Scaled(predictor[c], low);
      return true;
    });
  }
  if (dc) {
    return walk([&](TBitBuffer& bits, std::size_t, std::int16_t* block) {
      if (bits.ReadBit() != 0) block[0] = static_cast<std::int16_t>(block[0] | bit);
      return true;
    });
  }
  const THuffmanTable& table = *tables[0];
  if (scan.ApproximationHigh == 0) {
    return walk([&](TBitBuffer& bits, std::size_t, std::int16_t* block) {
      if (eobRun > 0) {
        --eobRun;
        return true;
      }
      for (int k = start; k <= end; ++k) {
        const int symbol = DecodeSymbolFast(bits, table);
        if (symbol < 0) return false;
        const int run = symbol >> 4;
        const int size = symbol & 15;
        if (size != 0) {
          k += run;
          block[Clamped(k)] = Scaled(ExtendMagnitude(bits.ReadBits(size), size), low);
        } else if (run == 15) {
          k += 15;  // ZRL: fifteen zeros here, the sixteenth with the loop
        } else {
          eobRun = EobRun(bits, run) - 1;  // this block ends the band already
          break;
        }
      }
      return true;
    });
  }
  // Refinement: every coefficient already non-zero takes a correction bit as the walk passes
  // it; a new coefficient, of magnitude 1 << low, goes after run zero-history coefficients.
  const int minusBit = static_cast<int>(~0u << low);
  return walk([&](TBitBuffer& bits, std::size_t, std::int16_t* block) {
    int k = start;
    if (eobRun == 0) {
      for (; k <= end; ++k) {
        const int symbol = DecodeSymbolFast(bits, table);
        // A refinement adds coefficients of one magnitude only, so sizes above 1 are damage.
        if (symbol < 0 || (symbol & 15) > 1) return false;
        int run = symbol >> 4;
        int value = 0;
        if ((symbol & 15) != 0) {
          value = bits.ReadBit() != 0 ? bit : minusBit;
        } else if (run != 15) {
          eobRun = EobRun(bits, run);
          break;
        }
        do {
          std::int16_t& coefficient = block[Clamped(k)];
          if (coefficient != 0) {
            Refine(bits, coefficient, bit);
          } else if (--run < 0) {
            break;
          }
          ++k;
        } while (k <= end);
        if (value != 0) block[Clamped(k)] = static_cast<std::int16_t>(value);
      }
    }
    if (eobRun > 0) {
      for (; k <= end; ++k) {
        std::int16_t& coefficient = block[k];
        if (coefficient != 0) Refine(bits, coefficient, bit);
      }
      --eobRun;
    }
    return true;
  });
}

}  // namespace tarvo
