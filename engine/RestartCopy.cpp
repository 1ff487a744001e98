// A wipe of a whole picture whose one scan has restart markers: each interval starts with fresh
// DC predictors and ends on a byte before its marker (ITU-T T.81 F.1.2.3), so the intervals no
// wipe touches go over byte for byte and only those holding wiped MCUs are written anew.
#include <algorithm>
#include <array>
#include <thread>
#include <vector>

#include "JpegTrimming.h"
#include "McuWalk.h"
#include "ScanWalk.h"

namespace tarvo {

std::optional<TRestartCopy> TJpegTrimming::DecodeForRestartCopy(const TTrimWindow& window) {
  // Every interval of a picture decoded whole was read as it stands, unless bytes that start no
  // block stood before a marker: those are walked, and found out, like an undecoded picture's.
  const bool decoded =
      DecodedValid() && model_.Damaged.empty() && cutRows_ < 0 && intactRows_ < 0 && !strayBytes_;
  if (RestartInterval() == 0 || !WipeMayCopy(window, decoded)) return std::nullopt;
  std::vector<TTrimWindow> wiped;
  for (const TWipe& wipe : Wipes) {
    const TTrimRect grown = GrownToMcus(wipe.Region, Grid());
    if (grown.Left >= grown.Right) continue;
    TTrimWindow one;
    one.FirstCol = grown.Left / McuWidth();
    one.FirstRow = grown.Top / McuHeight();
    one.EndCol = grown.Right / McuWidth();
    one.EndRow = grown.Bottom / McuHeight();
    wiped.push_back(one);
  }
  if (wiped.empty()) return std::nullopt;
  const std::span<const std::uint8_t> bytes = sourceStream_.Bytes();
  TRestartCopy copy;
  copy.Changed = IntervalsHolding(model_, wiped);
  std::optional<std::vector<TRestartMarker>> markers =
      RestartMarkersInTurn(model_, bytes, copy.Changed.size() - 1);
  if (!markers) return std::nullopt;
  copy.Markers = std::move(*markers);
  // Every MCU's end and DC value comes from a walk, which also shows that a whole decoding
  // reads each interval as it stands: the changed ones of a picture decoded whole, whose fills
  // the store averages, else all of them, on two threads.
  const TMcuLayout layout = ScanLayout(model_, model_.Scans[0]);
  copy.Ends.resize(static_cast<std::size_t>(layout.EndCol) *
                   static_cast<std::size_t>(layout.EndRow));
  copy.Dc = DcPictureFor(model_, window);
  const auto threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const TIntervalSet walked = decoded ? copy.Changed : TIntervalSet(copy.Changed.size(), 1);
  if (!WalkRestartIntervals(model_, bytes, copy.Markers, walked, threads, &copy.Dc, &copy.Ends)) {
    return std::nullopt;
  }
  return copy;
}

void TJpegTrimming::PutDecodedDc(const TBlockSource& blocks, TDcPicture& dc) const {
  const TMcuLayout layout = ScanLayout(model_, model_.Scans[0]);
  const std::int64_t total = std::int64_t{layout.EndCol} * layout.EndRow;
  std::array<std::int16_t, 64> scratch;
  for (std::int64_t begin = 0; begin < total; begin += layout.RestartInterval) {
    const std::int64_t end = std::min(begin + layout.RestartInterval, total);
    for (std::int64_t m = begin; m < end; ++m) {
      WalkMcuBlocks(layout, static_cast<int>(m / layout.EndCol),
                    static_cast<int>(m % layout.EndCol),
                    [&](int c, std::size_t row, std::size_t col) {
                      const int slot = layout.Components[static_cast<std::size_t>(c)].Slot;
                      dc.Put(slot, row, col, blocks.Block(slot, row, col, scratch.data())[0]);
                      return true;
                    });
    }
  }
}

}  // namespace tarvo
