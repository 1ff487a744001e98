#include "ScanBand.h"

#include <algorithm>

#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "ScanWalk.h"
#include "StreamError.h"

namespace tarvo {

bool WalkDcValues(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                  const TMcuStart& start, int firstRow, int endRow, TDcPicture& dc,
                  TScanBand* band) {
  const TScan& scan = model.Scans[0];
  const TScanTables tables = ScanTables(model, scan);
  TMcuLayout layout = ScanLayout(model, scan);
  layout.FirstRow = firstRow;
  layout.EndRow = endRow;
  std::array<int, TCoefficientStore::kMaxComponents> predictor{};
  std::copy(start.Predictors.begin(), start.Predictors.end(), predictor.begin());
  const auto here = [&](const TBitBuffer& bits) {
    TMcuStart at{bits.Place(), {}};
    for (std::size_t c = 0; c < predictor.size(); ++c) {
      at.Predictors[c] = static_cast<std::int16_t>(predictor[c]);
    }
    return at;
  };
  if (band != nullptr) {
    band->FirstRow = firstRow;
    band->EndRow = endRow;
    band->Cols = layout.EndCol;
    band->Starts.clear();
    band->Starts.reserve(static_cast<std::size_t>(endRow - firstRow) * layout.EndCol + 1);
  }
  EJpegError marker = EJpegError::kNone;
  TBitBuffer bits(bytes.data(), bytes.size(), &marker);
  bits.Start(start.Place.Byte);
  try {
    bits.ReadBits(start.Place.Bits);
    const bool walked = WalkWholeMcus(
        layout, [](int) {},
        [&](int r, int m) {
          if (band != nullptr) band->Starts.push_back(here(bits));
          return WalkMcuBlocks(layout, r, m, [&](int c, std::size_t row, std::size_t col) {
            const auto k = static_cast<std::size_t>(c);
            const bool read = SkipBlock(bits, *tables.Dc[k], *tables.Ac[k], predictor[k]);
            dc.Put(layout.Components[k].Slot, row, col, static_cast<std::int16_t>(predictor[k]));
            return read && !bits.MarkerMet();
          });
        },
        [] { return true; });
    if (!walked) return false;
  } catch (const EStreamError&) {
    return false;
  }
  if (band != nullptr) band->Starts.push_back(here(bits));
  // A picture of one MCU row is read on as libjpeg reads it, as its decoding does.
  if (endRow < model.McuRows || model.McuRows <= 1) return true;
  // The last byte padded with 1-bits (ITU-T T.81 F.1.2.3), then only zero filler up to the
  // marker after the data, as a whole decoding of the scan demands.
  std::size_t skipped = 0;
  const std::size_t after = bits.Position();
  markers::NextMarkerCode(bytes, after, skipped);
  const auto left = bytes.subspan(after, skipped);
  return PaddedWithOnes(bits) &&
         std::all_of(left.begin(), left.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace tarvo
