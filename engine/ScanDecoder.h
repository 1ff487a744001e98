// The scan decoders, which fill the coefficient store from the coded data of a file's scans.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "JpegError.h"
#include "JpegModel.h"

namespace tarvo {

// Told the MCU row a scan decoder's walk has reached.
using TRowProc = std::function<void(int)>;

// What a scan decoder tells besides its blocks: the MCU row its walk has reached, as it goes;
// what it read past to go on, as libjpeg reads past it; and when its data end before its last
// block (kScanTooShort) or it cannot read on, the MCU rows whose every block it had decoded
// before that.
struct TScanReport {
  TRowProc AtRow;
  std::vector<TJpegWarning> Warnings;
  int CompleteRows = 0;
  // The MCUs of restart intervals whose data could not be read, which the walk passed over to
  // read on at the next restart marker, as libjpeg does.
  std::vector<TMcuRange> Damaged;
  // Set, element r is given where the coded data of MCU row r start, for each row a walk of a
  // scan without restart markers starts.
  std::vector<TBitPlace>* RowStarts = nullptr;
};

// How a long run of a scan without restart markers is split between two threads
// (SplitScanDecode.h); tests move the split and lower the least run.
struct TSplitTuning {
  // The byte near which the later piece starts; 0 for halfway through the run's data.
  std::size_t SplitByte = 0;
  // The fewest MCUs each piece must take for a second thread to pay.
  std::int64_t MinMcusPerPiece = 4096;
};

// Decodes a scan of a sequential frame: every block of its components whole (ITU-T T.81 F.2),
// in the first mcuRows MCU rows, a scan without restart markers in two pieces at once when
// parts is 2 or more. Returns why it failed, also when the data end before the last block it
// decodes.
EJpegError DecodeSequentialScan(const TJpegModel& model, const TScan& scan,
                                TInBitStreamFile& reader, TCoefficientStore& store,
                                TScanReport& report, int mcuRows, int parts = 1,
                                const TSplitTuning& tuning = {});

// Where the walk of a scan stands after the MCU rows it has walked, for a walk that goes on from
// there: the next MCU row, the restart marker in turn, the interval under way, whether its data
// could not be read, and where they start.
struct TScanWalkState {
  int Row = 0;
  int RestartNumber = 0;
  int Interval = 0;
  bool Damaged = false;
  std::int64_t IntervalStart = 0;
};

// A one-scan sequential picture (TJpegModel::SingleScan) decoded a run of MCU rows at a time,
// each run going on where the last stopped: the bit position, the DC predictors and the restart
// count are kept between runs, so the picture can be decoded in pieces on the side while trims
// take the rows already there.
class TSequentialScanDecoding {
 public:
  // model and source must outlive this object and stay as they are.
  TSequentialScanDecoding(const TJpegModel& model, TByteStream& source);
  TSequentialScanDecoding(const TSequentialScanDecoding&) = delete;
  TSequentialScanDecoding& operator=(const TSequentialScanDecoding&) = delete;

  // Decodes MCU rows Rows() to endRow - 1 into store. Runs of rows that start and end where
  // restart intervals start are decoded in up to parts parts at once (DecodeInRestartParts),
  // long runs without restart markers in two pieces (DecodeInTwoPieces). Returns why the
  // scan cannot be read on, as DecodeSequentialScan does; no run follows one that failed.
  EJpegError DecodeTo(int endRow, TCoefficientStore& store, TScanReport& report, int parts,
                      const TSplitTuning& tuning = {});
  // The MCU rows decoded so far.
  int Rows() const { return state_.Row; }
  // The DC predictors where MCU row Rows() starts, by the scan's components.
  const std::array<int, TCoefficientStore::kMaxComponents>& Predictors() const {
    return predictor_;
  }
  // Where the coded data of MCU row Rows() start, or those after the last MCU once every row is
  // decoded.
  TBitPlace Place() const { return reader_.Place(); }
  // Where the coded data of MCU row row, below Rows(), start in a scan without restart markers.
  TBitPlace RowStart(int row) const { return rowStarts_[static_cast<std::size_t>(row)]; }

 private:
  // Decodes in restart parts what of Rows() to endRow - 1 they can take.
  void DecodeInParts(int endRow, TCoefficientStore& store, TScanReport& report, int parts);

  const TJpegModel& model_;
  TInBitStreamFile reader_;
  std::array<int, TCoefficientStore::kMaxComponents> predictor_{};
  std::vector<TBitPlace> rowStarts_;
  TScanWalkState state_;
  EJpegError failure_ = EJpegError::kNone;
};

// Decodes a scan of a progressive frame into blocks that earlier scans of it may have begun:
// its band of coefficients, or one more bit of them (ITU-T T.81 G.1.2). The store must start
// cleared.
EJpegError DecodeProgressiveScan(const TJpegModel& model, const TScan& scan,
                                 TInBitStreamFile& reader, TCoefficientStore& store,
                                 TScanReport& report);

}  // namespace tarvo
