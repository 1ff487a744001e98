// The sequential scan decoder: whole blocks, DC predicted from the component's previous block.
#include <algorithm>

#include "HuffmanBlockCoder.h"
#include "RestartParts.h"
#include "ScanDecoder.h"
#include "ScanWalk.h"
#include "SplitScanDecode.h"

namespace tarvo {

namespace {

// Walks scan from where state stands to the end of MCU row mcuRows - 1, decoding every block
// with the predictors given, which carry over from the walk before, into the store. A split
// decode that cannot vouch for its result leaves the rows it did not finish to the walk.
EJpegError WalkSequential(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
                          TCoefficientStore& store, TScanReport& report,
                          std::array<int, TCoefficientStore::kMaxComponents>& predictor,
                          TScanWalkState& state, int mcuRows, int parts,
                          const TSplitTuning& tuning) {
  EJpegError error = EJpegError::kNone;
  if (parts < 2 ||
      !DecodeInTwoPieces(model, scan, reader, store, report, predictor, state, mcuRows, tuning)) {
    const TScanTables tables = ScanTables(model, scan);
    error = WalkScanOn(
        model, scan, reader, store, report,
        [&](TBitBuffer& bits, std::size_t c, std::int16_t* block) {
          return DecodeBlock(bits, *tables.Dc[c], *tables.Ac[c], predictor[c], block);
        },
        [&] { predictor.fill(0); }, state, mcuRows);
  }
  // Bytes left between the last block of a scan without restart markers and the marker after
  // it mean that it was not read as coded: blocks went missing or came in between somewhere, at
  // the latest in its last row. Only zero bytes after a last byte padded with 1-bits (ITU-T
  // T.81 F.1.2.3) are filler that an encoder wrote. A picture of one MCU row has no row above to
  // keep, and is read on as libjpeg reads it.
  if (error == EJpegError::kNone && scan.RestartInterval == 0 && model.McuRows > 1 &&
      state.Row == model.McuRows) {
    const bool padded = PaddedWithOnes(reader.Bits());
    const std::size_t skipped = PeekRestartMarkerSkip(reader);
    const auto left = reader.Bytes().subspan(static_cast<std::size_t>(reader.Position()), skipped);
    if (!(padded && std::all_of(left.begin(), left.end(), [](std::uint8_t b) { return b == 0; }))) {
      report.CompleteRows = model.McuRows - 1;
      error = EJpegError::kBitStream;
    }
  }
  return error;
}

}  // namespace

EJpegError DecodeSequentialScan(const TJpegModel& model, const TScan& scan,
                                TInBitStreamFile& reader, TCoefficientStore& store,
                                TScanReport& report, int mcuRows, int parts,
                                const TSplitTuning& tuning) {
  std::array<int, TCoefficientStore::kMaxComponents> predictor{};
  TScanWalkState state;
  state.IntervalStart = scan.DataStart;
  return WalkSequential(model, scan, reader, store, report, predictor, state, mcuRows, parts,
                        tuning);
}

TSequentialScanDecoding::TSequentialScanDecoding(const TJpegModel& model, TByteStream& source)
    : model_(model), reader_(source), rowStarts_(static_cast<std::size_t>(model.McuRows)) {
  state_.IntervalStart = model.Scans[0].DataStart;
  reader_.SetPosition(state_.IntervalStart);
}

EJpegError TSequentialScanDecoding::DecodeTo(int endRow, TCoefficientStore& store,
                                             TScanReport& report, int parts,
                                             const TSplitTuning& tuning) {
  if (failure_ != EJpegError::kNone) return failure_;
  endRow = std::min(endRow, model_.McuRows);
  if (endRow <= state_.Row) return EJpegError::kNone;
  report.RowStarts = &rowStarts_;
  DecodeInParts(endRow, store, report, parts);
  failure_ = WalkSequential(model_, model_.Scans[0], reader_, store, report, predictor_, state_,
                            endRow, parts, tuning);
  return failure_;
}

void TSequentialScanDecoding::DecodeInParts(int endRow, TCoefficientStore& store,
                                            TScanReport& report, int parts) {
  const TScan& scan = model_.Scans[0];
  if (scan.RestartInterval == 0 || state_.Damaged) return;
  // The parts start and end where intervals start rows: the rows after them are left to the
  // sequential walk, which takes the marker between them first.
  const TMcuLayout layout = ScanLayout(model_, scan);
  const std::int64_t cols = layout.EndCol;
  const std::int64_t step = RestartRowStep(scan.RestartInterval, cols);
  const int end =
      endRow == layout.EndRow ? endRow : static_cast<int>(std::int64_t{endRow} / step * step);
  // The parts count MCU rows; a grey picture's taller MCUs hold several rows of its blocks.
  if (layout.EndRow != model_.McuRows) return;
  std::size_t markerAfter = 0;
  if (!DecodeInRestartParts(model_, reader_.Bytes(), store, report.AtRow, state_.Row, end, parts,
                            &markerAfter)) {
    return;
  }
  report.AtRow(end);
  state_.Row = end;
  if (end == layout.EndRow) return;
  // As the sequential walk leaves an interval that ends the rows it walked: its marker next.
  const auto intervals = static_cast<int>(std::int64_t{end} * cols / scan.RestartInterval);
  state_.Interval = intervals - 1;
  state_.RestartNumber = RestartNumber(intervals - 1);
  state_.IntervalStart = static_cast<std::int64_t>(markerAfter);
  reader_.SetPosition(state_.IntervalStart);
}

}  // namespace tarvo
