#include "ArithmeticScanDecoder.h"

#include <array>
#include <cstddef>

#include "ArithmeticDecoder.h"
#include "JpegMarkers.h"
#include "McuWalk.h"
#include "ScanWalk.h"

namespace tarvo {

namespace {

constexpr int kTables = 4;
constexpr int kLastCoefficient = 63;
// Statistics areas by conditioning table (ITU-T T.81 Tables F.4, F.5): a DC area holds five
// contexts of four bins, then X1..X15 and M2..M15; an AC area three bins for each of the 63
// coefficients, then X2..X15 and M2..M15 for the low band and again for the high band.
constexpr std::size_t kDcBins = 20 + 15 + 14;
constexpr std::size_t kAcBins = 3 * 63 + 2 * 28;
constexpr std::size_t kDcMagnitude = 20;
constexpr std::size_t kAcLowMagnitude = 3 * 63;
constexpr std::size_t kAcHighMagnitude = kAcLowMagnitude + 28;
// From the magnitude category bin X(n) to the bin of its bits, M(n) (Tables F.4, F.5).
constexpr std::size_t kToMagnitudeBits = 14;
// A magnitude category beyond 15 bits cannot come from a real coefficient.
constexpr int kMagnitudeLimit = 0x8000;

// The state of a scan's decoding that a restart interval starts afresh (ITU-T T.81 F.2.4.1).
struct TScanState {
  std::array<std::array<TArithmeticBin, kDcBins>, kTables> Dc{};
  std::array<std::array<TArithmeticBin, kAcBins>, kTables> Ac{};
  std::array<int, TCoefficientStore::kMaxComponents> Predictor{};
  // Per component: where the DC bins of the next difference start, 0, 4, 8, 12 or 16 for
  // the previous difference zero, small positive, small negative, large positive, large
  // negative (F.1.4.4.1.2).
  std::array<std::size_t, TCoefficientStore::kMaxComponents> DcContext{};
};

class TArithmeticScan {
 public:
  TArithmeticScan(const TJpegModel& model, const TScan& scan, std::span<const std::uint8_t> bytes)
      : model_(model), scan_(scan), bytes_(bytes), decoder_(bytes) {}

  EJpegError Decode(TCoefficientStore& store, TScanReport& report);

 private:
  // One block's share of the scan; false when its data cannot be real.
  bool DecodeBlock(std::size_t c, std::int16_t* block);
  bool DecodeDc(std::size_t c, std::int16_t* block);
  bool DecodeAcFirst(std::size_t c, std::int16_t* block, int start);
  bool DecodeAcRefinement(std::size_t c, std::int16_t* block);
  // The magnitude decisions of a value once it is known to be non-zero: its category from
  // first (which also codes whether the magnitude exceeds 1), the categories above 2 from
  // higher, then its bits below the top one (ITU-T T.81 Figures F.23, F.24). False when the
  // category runs past the 15 bits a coefficient has.
  bool DecodeMagnitude(TArithmeticBin* first, TArithmeticBin* higher, bool firstCodesOne,
                       int& magnitude, int& category);
  int DcTable(std::size_t c) const { return scan_.Components[c].Selectors >> 4; }
  int AcTable(std::size_t c) const { return scan_.Components[c].Selectors & 15; }
  void Restart(std::size_t position) {
    state_ = TScanState{};
    decoder_.Start(position);
  }

  const TJpegModel& model_;
  const TScan& scan_;
  std::span<const std::uint8_t> bytes_;
  TArithmeticDecoder decoder_;
  TScanState state_;
};

bool TArithmeticScan::DecodeMagnitude(TArithmeticBin* first, TArithmeticBin* higher,
                                      bool firstCodesOne, int& magnitude, int& category) {
  category = 0;
  TArithmeticBin* bin = first;
  if (decoder_.Decode(*bin) != 0) {
    category = 1;
    // An AC value codes "above 1" and "above 2" in the same bin; a DC value goes on to X1.
    if (!firstCodesOne || decoder_.Decode(*bin) != 0) {
      if (firstCodesOne) category = 2;
      bin = higher;
      while (decoder_.Decode(*bin) != 0) {
        category <<= 1;
        if (category == kMagnitudeLimit) return false;
        ++bin;
      }
    }
  }
  magnitude = category;
  bin += kToMagnitudeBits;
  for (int m = category >> 1; m != 0; m >>= 1) {
    if (decoder_.Decode(*bin) != 0) magnitude |= m;
  }
  ++magnitude;
  return true;
}

bool TArithmeticScan::DecodeDc(std::size_t c, std::int16_t* block) {
  const auto table = static_cast<std::size_t>(DcTable(c));
  std::array<TArithmeticBin, kDcBins>& bins = state_.Dc[table];
  TArithmeticBin* const context = &bins[state_.DcContext[c]];
  int difference = 0;
  if (decoder_.Decode(context[0]) == 0) {
    state_.DcContext[c] = 0;
  } else {
    const int sign = decoder_.Decode(context[1]);
    int magnitude = 0;
    int category = 0;
    if (!DecodeMagnitude(&context[2 + sign], &bins[kDcMagnitude], false, magnitude, category)) {
      return false;
    }
    // The next difference's context: how large this one was against the table's bounds L
    // and U (ITU-T T.81 F.1.4.4.1.2).
    const int lower = scan_.Conditioning.DcLower[table];
    const int upper = scan_.Conditioning.DcUpper[table];
    if (category < (1 << lower) >> 1) {
      state_.DcContext[c] = 0;
    } else if (category > (1 << upper) >> 1) {
      state_.DcContext[c] = 12 + 4 * static_cast<std::size_t>(sign);
    } else {
      state_.DcContext[c] = 4 + 4 * static_cast<std::size_t>(sign);
    }
    difference = sign != 0 ? -magnitude : magnitude;
  }
  int& predictor = state_.Predictor[c];
  predictor =
      static_cast<int>(static_cast<unsigned>(predictor) + static_cast<unsigned>(difference));
  block[0] = static_cast<std::int16_t>(static_cast<unsigned>(predictor) << scan_.ApproximationLow);
  return true;
}

bool TArithmeticScan::DecodeAcFirst(std::size_t c, std::int16_t* block, int start) {
  const auto table = static_cast<std::size_t>(AcTable(c));
  std::array<TArithmeticBin, kAcBins>& bins = state_.Ac[table];
  const int end = scan_.SpectralEnd;
  const int threshold = scan_.Conditioning.AcThreshold[table];
  for (int k = start; k <= end; ++k) {
    TArithmeticBin* at = &bins[3 * static_cast<std::size_t>(k - 1)];
    if (decoder_.Decode(at[0]) != 0) break;  // end of block
    // Zero coefficients until one is not (ITU-T T.81 Figure F.20).
    while (decoder_.Decode(at[1]) == 0) {
      if (++k > end) return false;
      at += 3;
    }
    const int sign = decoder_.DecodeFixed();
    int magnitude = 0;
    int category = 0;
    const std::size_t higher = k <= threshold ? kAcLowMagnitude : kAcHighMagnitude;
    if (!DecodeMagnitude(&at[2], &bins[higher], true, magnitude, category)) return false;
    const int value = sign != 0 ? -magnitude : magnitude;
    block[k] = static_cast<std::int16_t>(static_cast<unsigned>(value) << scan_.ApproximationLow);
  }
  return true;
}

bool TArithmeticScan::DecodeAcRefinement(std::size_t c, std::int16_t* block) {
  std::array<TArithmeticBin, kAcBins>& bins = state_.Ac[static_cast<std::size_t>(AcTable(c))];
  const int start = scan_.SpectralStart;
  const int end = scan_.SpectralEnd;
  const int bit = 1 << scan_.ApproximationLow;
  const int minusBit = static_cast<int>(~0u << scan_.ApproximationLow);
  // Coefficients up to the last one earlier scans made non-zero code no end-of-block decision
  // (ITU-T T.81 G.1.3.3).
  int lastKnown = end;
  while (lastKnown > 0 && block[lastKnown] == 0) --lastKnown;
  for (int k = start; k <= end; ++k) {
    TArithmeticBin* at = &bins[3 * static_cast<std::size_t>(k - 1)];
    if (k > lastKnown && decoder_.Decode(at[0]) != 0) break;
    for (;;) {
      std::int16_t& coefficient = block[k];
      if (coefficient != 0) {
        if (decoder_.Decode(at[2]) != 0) {
          coefficient = static_cast<std::int16_t>(coefficient + (coefficient < 0 ? minusBit : bit));
        }
        break;
      }
      if (decoder_.Decode(at[1]) != 0) {
        coefficient = static_cast<std::int16_t>(decoder_.DecodeFixed() != 0 ? minusBit : bit);
        break;
      }
      if (++k > end) return false;
      at += 3;
    }
  }
  return true;
}

bool TArithmeticScan::DecodeBlock(std::size_t c, std::int16_t* block) {
  if (!model_.Progressive()) return DecodeDc(c, block) && DecodeAcFirst(c, block, 1);
  if (scan_.SpectralStart == 0) {
    if (scan_.ApproximationHigh == 0) return DecodeDc(c, block);
    if (decoder_.DecodeFixed() != 0) {
      block[0] = static_cast<std::int16_t>(block[0] | 1 << scan_.ApproximationLow);
    }
    return true;
  }
  return scan_.ApproximationHigh == 0 ? DecodeAcFirst(c, block, scan_.SpectralStart)
                                      : DecodeAcRefinement(c, block);
}

EJpegError TArithmeticScan::Decode(TCoefficientStore& store, TScanReport& report) {
  const TMcuLayout layout = ScanLayout(model_, scan_);
  auto intervalStart = static_cast<std::size_t>(scan_.DataStart);
  Restart(intervalStart);
  int restartNumber = 0;
  int interval = 0;
  bool damaged = false;  // the interval being decoded could not be read: its blocks are passed
  EJpegError error = EJpegError::kNone;
  const auto block = [&](int c, std::size_t row, std::size_t col) {
    if (damaged) return true;
    const auto k = static_cast<std::size_t>(c);
    if (DecodeBlock(k, store.Block(layout.Components[k].Slot, row, col))) return true;
    // Every restart interval starts the decoder afresh, so damage ends at the next marker: the
    // interval is lost, the rest of the scan is not, as libjpeg reads it.
    if (scan_.RestartInterval == 0) {
      error = EJpegError::kBitStream;
      return false;
    }
    damaged = true;
    report.Damaged.push_back(IntervalMcus(model_, layout, interval));
    return true;
  };
  const auto atRestart = [&] {
    // Bytes the decoder left unread before the marker belong to no block: libjpeg skips them,
    // and so does the engine, saying how many. A damaged interval's decoding tells nothing of
    // where its data end: its marker is looked for from its start, where no marker but the next
    // can stand. Anything but the next RSTn in turn means intervals were lost or the data run on.
    std::size_t skipped = 0;
    const std::size_t code = damaged ? markers::NextMarkerCode(bytes_, intervalStart, skipped)
                                     : decoder_.MarkerCode(skipped);
    if (skipped != 0 && !damaged) {
      report.Warnings.push_back(
          {EJpegWarning::kExtraneousBytes, static_cast<std::int64_t>(skipped)});
    }
    if (code >= bytes_.size() || bytes_[code] != markers::CodeOf(markers::kRst0 + restartNumber)) {
      error = code >= bytes_.size() || bytes_[code] == markers::CodeOf(markers::kEoi)
                  ? EJpegError::kScanTooShort
                  : EJpegError::kBitStream;
      return false;
    }
    intervalStart = code + 1;
    Restart(intervalStart);
    restartNumber = RestartNumber(restartNumber + 1);
    ++interval;
    damaged = false;
    return true;
  };
  WalkWholeMcus(
      layout,
      [&](int r) {
        // Decisions taken before the data ran out are exact: so are the rows above.
        report.CompleteRows = r / layout.RowsPerMcuRow;
        report.AtRow(r / layout.RowsPerMcuRow);
      },
      [&](int r, int m) {
        if (!WalkMcuBlocks(layout, r, m, block)) return false;
        if (!damaged && decoder_.EndReached()) error = EJpegError::kScanTooShort;
        return error == EJpegError::kNone;
      },
      atRestart);
  return error;
}

}  // namespace

EJpegError DecodeArithmeticScan(const TJpegModel& model, const TScan& scan,
                                std::span<const std::uint8_t> bytes, TCoefficientStore& store,
                                TScanReport& report) {
  return TArithmeticScan(model, scan, bytes).Decode(store, report);
}

}  // namespace tarvo
