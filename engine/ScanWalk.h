// The order in which a scan codes its blocks, with its restart intervals (ITU-T T.81 A.2, B.2.5),
// shared by the scan decoders.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "JpegError.h"
#include "JpegMarkers.h"
#include "JpegModel.h"
#include "McuWalk.h"
#include "ScanDecoder.h"
#include "StreamError.h"

namespace tarvo {

// Reads the marker ending a restart interval; kNone when it is RSTn with n = number. Bytes
// before the marker belong to no block: libjpeg skips them, and so does the walk, counting them
// in skipped.
inline EJpegError ReadRestartMarker(TInBitStreamFile& reader, int number, std::size_t& skipped) {
  const std::span<const std::uint8_t> bytes = reader.Bytes();
  const std::size_t code =
      markers::NextMarkerCode(bytes, static_cast<std::size_t>(reader.Position()), skipped);
  if (code < bytes.size() && bytes[code] == markers::CodeOf(markers::kRst0 + number)) {
    reader.SetPosition(static_cast<std::int64_t>(code + 1));
    return EJpegError::kNone;
  }
  // The data end, or EOI comes, in place of the next interval: they end before the picture does.
  const bool ended = code == bytes.size() || bytes[code] == markers::CodeOf(markers::kEoi);
  return ended ? EJpegError::kScanTooShort : EJpegError::kBitStream;
}

// The Huffman tables of a sequential scan's components, by their index in the scan.
struct TScanTables {
  std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents> Dc{};
  std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents> Ac{};
};

inline TScanTables ScanTables(const TJpegModel& model, const TScan& scan) {
  TScanTables tables;
  for (std::size_t c = 0; c < scan.Components.size(); ++c) {
    tables.Dc[c] = &model.Table(scan.Components[c].DcTable);
    tables.Ac[c] = &model.Table(scan.Components[c].AcTable);
  }
  return tables;
}

// Whether the bits left in the byte being read are all 1-bits, as an encoder pads the last
// byte of an interval's data (ITU-T T.81 F.1.2.3), or none are left.
inline bool PaddedWithOnes(TBitBuffer& bits) {
  const int position = bits.BitPosition();
  const int left = position == 7 ? 0 : position + 1;
  return left == 0 || bits.PeekBits(left) == (1u << left) - 1;
}

// The first byte from at on where decoding may start: never the 0x00 stuffed after a 0xFF, nor
// a marker or its fill bytes. end when there is none before it.
inline std::size_t DecodableByte(std::span<const std::uint8_t> bytes, std::size_t at,
                                 std::size_t end) {
  while (at < end && (bytes[at - 1] == 0xFF || bytes[at] == 0xFF)) ++at;
  return std::min(at, end);
}

// How many bytes before the next marker start none, from the reader's position.
inline std::size_t PeekRestartMarkerSkip(TInBitStreamFile& reader) {
  std::size_t skipped = 0;
  markers::NextMarkerCode(reader.Bytes(), static_cast<std::size_t>(reader.Position()), skipped);
  return skipped;
}

// What a scan codes: an interleaved scan MCUs of each component's H x V blocks, a scan of one
// component its blocks in raster order, as MCUs of one block (ITU-T T.81 A.2.2, A.2.3).
inline TMcuLayout ScanLayout(const TJpegModel& model, const TScan& scan) {
  TMcuLayout layout;
  layout.Count = static_cast<int>(scan.Components.size());
  const bool single = layout.Count == 1;
  for (int c = 0; c < layout.Count; ++c) {
    const int slot = scan.Components[static_cast<std::size_t>(c)].Component;
    const TFrameComponent& component = model.Components[static_cast<std::size_t>(slot)];
    layout.Components[static_cast<std::size_t>(c)] = {slot, single ? 1 : component.HSampling,
                                                      single ? 1 : component.VSampling};
  }
  const TFrameComponent& first =
      model.Components[static_cast<std::size_t>(scan.Components[0].Component)];
  layout.EndCol = single ? first.BlocksWide : model.McuCols;
  layout.EndRow = single ? first.BlocksHigh : model.McuRows;
  layout.RestartInterval = scan.RestartInterval;
  layout.RowsPerMcuRow = single ? first.VSampling : 1;
  return layout;
}

// The frame's MCUs that restart interval k of a scan laid out as layout covers. A scan of one
// component counts its own blocks: its interval is widened to the frame MCUs that hold them.
inline TMcuRange IntervalMcus(const TJpegModel& model, const TMcuLayout& layout, int k) {
  const int total = layout.EndCol * layout.EndRow;
  const int first = k * layout.RestartInterval;
  const int end = std::min(first + layout.RestartInterval, total);
  if (layout.Count > 1) return {first, end};
  const TFrameComponent& component =
      model.Components[static_cast<std::size_t>(layout.Components[0].Slot)];
  const int firstRow = first / layout.EndCol;
  const int lastRow = (end - 1) / layout.EndCol;
  if (firstRow == lastRow && layout.RowsPerMcuRow == 1) {
    return {firstRow * model.McuCols + first % layout.EndCol / component.HSampling,
            firstRow * model.McuCols + (end - 1) % layout.EndCol / component.HSampling + 1};
  }
  return {firstRow / layout.RowsPerMcuRow * model.McuCols,
          (lastRow / layout.RowsPerMcuRow + 1) * model.McuCols};
}

// Calls decode(bits, c, block) for every block of scan in coding order (WalkMcus), c indexing
// the scan's components, and restart() before the first MCU and after each restart marker, from
// MCU row state.Row to the end of MCU row mcuRows - 1, leaving state where the walk stopped. A
// walk that stops where a restart interval ends leaves its marker to the walk that goes on. A
// restart interval whose data cannot be read is noted in report.Damaged and passed over,
// decoding going on at the next restart marker in turn, as libjpeg does. Returns why the scan
// cannot be read, or kNone.
template <typename Decode, typename Restart>
EJpegError WalkScanOn(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
                      TCoefficientStore& store, TScanReport& report, Decode&& decode,
                      Restart&& restart, TScanWalkState& state, int mcuRows) {
  TMcuLayout layout = ScanLayout(model, scan);
  const TMcuLayout whole = layout;
  const int rowsPerMcuRow = layout.RowsPerMcuRow;
  layout.FirstRow = std::min(state.Row * rowsPerMcuRow, whole.EndRow);
  layout.EndRow = std::min(layout.EndRow, mcuRows * rowsPerMcuRow);
  if (layout.FirstRow >= layout.EndRow) return EJpegError::kNone;
  const int walked = layout.FirstRow * layout.EndCol;
  if (scan.RestartInterval != 0) layout.RestartCount = walked % scan.RestartInterval;
  EJpegError error = EJpegError::kNone;
  const auto atRestart = [&] {
    restart();
    std::size_t skipped = 0;
    if (state.Damaged) {
      // The damage may have run into the marker, or stopped short of it: find it from the
      // interval's start, where no marker but the next can stand.
      reader.SetPosition(state.IntervalStart);
      reader.ForgetMarker();
    } else if (!PaddedWithOnes(reader.Bits())) {
      // An interval that ends with bits that are not the 1-bits padding its last byte
      // (ITU-T T.81 F.1.2.3) before bytes that start no marker was not read as coded.
      state.Damaged = PeekRestartMarkerSkip(reader) != 0;
      if (state.Damaged) {
        report.Damaged.push_back(IntervalMcus(model, whole, state.Interval));
        reader.SetPosition(state.IntervalStart);
      }
    }
    // Reading the marker at byte level drops the interval's fill bits. Anything but the next
    // RSTn in turn means intervals were lost or the data run on: the blocks after it would land
    // in the wrong place.
    error = ReadRestartMarker(reader, state.RestartNumber, skipped);
    if (skipped != 0 && !state.Damaged) {
      report.Warnings.push_back(
          {EJpegWarning::kExtraneousBytes, static_cast<std::int64_t>(skipped)});
    }
    state.RestartNumber = RestartNumber(state.RestartNumber + 1);
    ++state.Interval;
    state.Damaged = false;
    state.IntervalStart = reader.Position();
    return error == EJpegError::kNone;
  };
  if (state.Row == 0) restart();
  report.CompleteRows = state.Row;
  try {
    // The walk before this one stopped where an interval ends: its marker comes first.
    if (walked > 0 && layout.RestartCount == 0 && scan.RestartInterval != 0 && !atRestart()) {
      return error;
    }
    WalkMcus(
        layout,
        [&](int r) {
          // The rows above were decoded whole from bits that all came before this point.
          report.CompleteRows = r / rowsPerMcuRow;
          if (report.RowStarts != nullptr && scan.RestartInterval == 0 && r % rowsPerMcuRow == 0) {
            (*report.RowStarts)[static_cast<std::size_t>(r / rowsPerMcuRow)] = reader.Place();
          }
          report.AtRow(r / rowsPerMcuRow);
        },
        [&](int c, std::size_t row, std::size_t col) {
          if (state.Damaged) return true;
          const bool decoded =
              decode(reader.Bits(), static_cast<std::size_t>(c),
                     store.Block(layout.Components[static_cast<std::size_t>(c)].Slot, row, col));
          // Bits taken from a marker are not image data: the scan is cut short or damaged, as
          // the reader has noted.
          if (reader.MarkerMet()) {
            error = reader.MarkerFault();
          } else if (!decoded) {
            error = EJpegError::kHuffmanBlock;
          }
          // Within a restart interval, damage ends at the next marker: the interval is lost,
          // the rest of the scan is not. Data that end are a cut-off file.
          if (error != EJpegError::kNone && error != EJpegError::kScanTooShort &&
              scan.RestartInterval != 0) {
            state.Damaged = true;
            report.Damaged.push_back(IntervalMcus(model, whole, state.Interval));
            error = EJpegError::kNone;
          }
          return error == EJpegError::kNone;
        },
        atRestart);
  } catch (const EStreamError&) {
    // Running out of data after a marker inside them is the same fault, noted already.
    // Otherwise the file ends before its last block: it was cut off.
    return reader.MarkerMet() ? reader.MarkerFault() : EJpegError::kScanTooShort;
  }
  if (error == EJpegError::kNone) state.Row = std::min(mcuRows, model.McuRows);
  return error;
}

// WalkScanOn for a whole walk from the scan's first MCU.
template <typename Decode, typename Restart>
EJpegError WalkScan(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
                    TCoefficientStore& store, TScanReport& report, Decode&& decode,
                    Restart&& restart, int mcuRows) {
  TScanWalkState state;
  state.IntervalStart = scan.DataStart;
  return WalkScanOn(model, scan, reader, store, report, decode, restart, state, mcuRows);
}

}  // namespace tarvo
