// The order in which a scan codes its blocks, with its restart intervals (ITU-T T.81 A.2, B.2.5),
// shared by the scan decoders.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "JpegError.h"
#include "JpegMarkers.h"
#include "JpegModel.h"
#include "ScanDecoder.h"
#include "StreamError.h"

namespace tarvo {

// Reads the marker ending a restart interval; kNone when it is RSTn with n = number.
inline EJpegError ReadRestartMarker(TInBitStreamFile& reader, int number) {
  const std::span<const std::uint8_t> bytes = reader.Bytes();
  const auto at = static_cast<std::size_t>(reader.Position());
  const std::size_t code =
      at < bytes.size() && bytes[at] == 0xFF ? markers::MarkerCodeAt(bytes, at) : at;
  if (code < bytes.size() && code > at && bytes[code] == (markers::kRst0 & 0xFF) + number) {
    reader.SetPosition(static_cast<std::int64_t>(code + 1));
    return EJpegError::kNone;
  }
  // The data end, or EOI comes, in place of the next interval: they end before the picture does.
  const bool ended = code == bytes.size() || (code > at && bytes[code] == (markers::kEoi & 0xFF));
  return ended ? EJpegError::kScanTooShort : EJpegError::kBitStream;
}

// Calls decode(bits, c, block) for every block of scan in coding order, c indexing the scan's
// components, and restart() before the first MCU and after each restart marker. An interleaved
// scan codes MCUs of each component's H x V blocks; a scan of one component codes its blocks in
// raster order (ITU-T T.81 A.2.2, A.2.3). Returns why the scan cannot be read, or kNone.
template <typename Decode, typename Restart>
EJpegError WalkScan(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
                    TCoefficientStore& store, const TRowProc& atRow, Decode&& decode,
                    Restart&& restart) {
  struct TLayout {
    int Slot;
    int H;
    int V;
  };
  std::array<TLayout, TCoefficientStore::kMaxComponents> layout{};
  const std::size_t count = scan.Components.size();
  const bool single = count == 1;
  for (std::size_t c = 0; c < count; ++c) {
    const int slot = scan.Components[c].Component;
    const TFrameComponent& component = model.Components[static_cast<std::size_t>(slot)];
    layout[c] = {slot, single ? 1 : component.HSampling, single ? 1 : component.VSampling};
  }
  const TFrameComponent& first =
      model.Components[static_cast<std::size_t>(scan.Components[0].Component)];
  const int cols = single ? first.BlocksWide : model.McuCols;
  const int rows = single ? first.BlocksHigh : model.McuRows;
  // Rows of a one-component scan are block rows: V of them make an MCU row.
  const int rowsPerMcuRow = single ? first.VSampling : 1;
  int restartCount = 0;
  int restartNumber = 0;
  restart();
  try {
    for (int r = 0; r < rows; ++r) {
      atRow(r / rowsPerMcuRow);
      for (int m = 0; m < cols; ++m) {
        bool decoded = true;
        for (std::size_t c = 0; c < count && decoded; ++c) {
          const TLayout& l = layout[c];
          for (int v = 0; v < l.V && decoded; ++v) {
            const std::size_t row = static_cast<std::size_t>(r) * l.V + v;
            for (int h = 0; h < l.H && decoded; ++h) {
              const std::size_t col = static_cast<std::size_t>(m) * l.H + h;
              decoded = decode(reader.Bits(), c, store.Block(l.Slot, row, col));
            }
          }
        }
        // Bits taken from a marker are not image data: the scan is cut short or damaged, as
        // the reader has noted.
        if (reader.MarkerMet()) return reader.MarkerFault();
        if (!decoded) return EJpegError::kHuffmanBlock;
        if (scan.RestartInterval != 0 && ++restartCount == scan.RestartInterval &&
            !(r == rows - 1 && m == cols - 1)) {
          // Reading the marker at byte level drops the interval's fill bits. Anything but the
          // next RSTn in turn means intervals were lost or the data run on: the blocks after
          // it would land in the wrong place.
          restart();
          restartCount = 0;
          if (const EJpegError error = ReadRestartMarker(reader, restartNumber);
              error != EJpegError::kNone) {
            return error;
          }
          restartNumber = (restartNumber + 1) % 8;
        }
      }
    }
  } catch (const EStreamError&) {
    // Running out of data after a marker inside them is the same fault, noted already.
    // Otherwise the file ends before its last block: it was cut off.
    return reader.MarkerMet() ? reader.MarkerFault() : EJpegError::kScanTooShort;
  }
  return EJpegError::kNone;
}

}  // namespace tarvo
