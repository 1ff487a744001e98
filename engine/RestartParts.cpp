#include "RestartParts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>
#include <thread>

#include "BitStreamFile.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "McuWalk.h"
#include "ScanWalk.h"

namespace tarvo {

namespace {

// The first count restart markers of the coded data from start to end; fewer where the data hold
// fewer before a marker that ends them. A stuffed 0xFF 0x00 is data, not a marker.
std::vector<TRestartMarker> FindRestartMarkers(std::span<const std::uint8_t> bytes,
                                               std::size_t start, std::size_t end,
                                               std::size_t count) {
  std::vector<TRestartMarker> found;
  found.reserve(count);
  const std::span<const std::uint8_t> data = bytes.first(end);
  std::size_t at = start;
  while (found.size() < count && at < end) {
    const auto* ff = static_cast<const std::uint8_t*>(std::memchr(&data[at], 0xFF, end - at));
    if (ff == nullptr) break;
    const auto marker = static_cast<std::size_t>(ff - data.data());
    const std::size_t code = markers::MarkerCodeAt(data, marker);
    if (code >= end || markers::EndsCodedData(data[code])) break;
    if (data[code] != 0x00) {
      found.push_back({marker, code + 1, data[code] - markers::CodeOf(markers::kRst0)});
    }
    at = code + 1;
  }
  return found;
}

// A window's MCUs in the units the scan counts: frame MCUs, or the blocks of a scan of one
// component, which codes them in raster order (ITU-T T.81 A.2.2).
struct TScanRect {
  std::int64_t FirstCol = 0, EndCol = 0, FirstRow = 0, EndRow = 0;
};

TScanRect InScanUnits(const TJpegModel& model, const TMcuLayout& layout,
                      const TTrimWindow& window) {
  const TFrameComponent& component =
      model.Components[static_cast<std::size_t>(layout.Components[0].Slot)];
  const std::int64_t h = layout.Count > 1 ? 1 : component.HSampling;
  const std::int64_t v = layout.RowsPerMcuRow;
  return {window.FirstCol * h, std::min<std::int64_t>(window.EndCol * h, layout.EndCol),
          window.FirstRow * v, std::min<std::int64_t>(window.EndRow * v, layout.EndRow)};
}

// Calls visit(k) for each interval k that holds an MCU of window, in order; false as soon as
// visit returns false.
template <typename Visit>
bool ForIntervalsOf(const TJpegModel& model, const TTrimWindow& window, Visit&& visit) {
  const TMcuLayout layout = ScanLayout(model, model.Scans[0]);
  const TScanRect rect = InScanUnits(model, layout, window);
  const std::int64_t interval = layout.RestartInterval;
  for (std::int64_t row = rect.FirstRow; row < rect.EndRow && rect.FirstCol < rect.EndCol; ++row) {
    const std::int64_t first = (row * layout.EndCol + rect.FirstCol) / interval;
    const std::int64_t last = (row * layout.EndCol + rect.EndCol - 1) / interval;
    for (std::int64_t k = first; k <= last; ++k) {
      if (!visit(static_cast<std::size_t>(k))) return false;
    }
  }
  return true;
}

std::size_t IntervalCount(const TMcuLayout& layout) {
  const std::int64_t total = std::int64_t{layout.EndCol} * layout.EndRow;
  return static_cast<std::size_t>((total + layout.RestartInterval - 1) / layout.RestartInterval);
}

using TPredictors = std::array<int, TCoefficientStore::kMaxComponents>;

// Reads intervals as the sequential decode would, with the same bit reader, each from just after
// the marker before it, mcu(bits, predictor, r, m) reading the MCU in row r and column m of the
// scan's walk, false where the reading stops, and checks that each one but the scan's last ends
// exactly where its marker starts; with lastEnds, the scan's last where its data end.
template <typename Mcu>
bool ReadIntervals(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                   const std::vector<TRestartMarker>& restarts, std::span<const int> intervals,
                   std::size_t intervalCount, bool lastEnds, const TRowProc* atRow, Mcu&& mcu) {
  const TScan& scan = model.Scans[0];
  const TMcuLayout layout = ScanLayout(model, scan);
  const int rowsPerMcuRow = layout.RowsPerMcuRow;
  const std::int64_t total = std::int64_t{layout.EndCol} * layout.EndRow;
  EJpegError markerFault = EJpegError::kNone;
  TBitBuffer bits(bytes.data(), bytes.size(), &markerFault);
  TPredictors predictor{};
  std::int64_t reportedRow = -1;
  try {
    for (const int k : intervals) {
      const auto index = static_cast<std::size_t>(k);
      bits.Start(index == 0 ? static_cast<std::size_t>(scan.DataStart) : restarts[index - 1].Next);
      predictor.fill(0);
      const std::int64_t first = std::int64_t{k} * layout.RestartInterval;
      const std::int64_t end = std::min(first + layout.RestartInterval, total);
      auto row = static_cast<int>(first / layout.EndCol);
      auto col = static_cast<int>(first % layout.EndCol);
      for (std::int64_t m = first; m < end; ++m) {
        if (atRow != nullptr && row / rowsPerMcuRow != reportedRow) {
          reportedRow = row / rowsPerMcuRow;
          (*atRow)(row / rowsPerMcuRow);
        }
        if (!mcu(bits, predictor, row, col)) return false;
        if (++col == layout.EndCol) {
          col = 0;
          ++row;
        }
      }
      if (index + 1 < intervalCount && bits.Position() != restarts[index].Start) return false;
      if (index + 1 == intervalCount && lastEnds &&
          (bits.Position() != static_cast<std::size_t>(scan.DataEnd) || !PaddedWithOnes(bits))) {
        return false;
      }
    }
    return true;
  } catch (const EStreamError&) {
    return false;
  }
}

// The intervals intervals flags, in coding order.
std::vector<int> Taken(const TIntervalSet& intervals) {
  std::vector<int> taken;
  for (std::size_t k = 0; k < intervals.size(); ++k) {
    if (intervals[k] != 0) taken.push_back(static_cast<int>(k));
  }
  return taken;
}

// Runs read(share, atRow) on equal shares of taken in up to parts parts at once, the first on
// the calling thread, which alone is given atRow; true when every part returns true, or none is
// taken.
template <typename Read>
bool ReadInParts(std::span<const int> taken, int parts, const TRowProc* atRow, Read&& read) {
  if (taken.empty()) return true;
  const std::size_t count =
      std::clamp<std::size_t>(static_cast<std::size_t>(parts), 1, taken.size());
  const auto share = [&](std::size_t j) {
    return taken.subspan(taken.size() * j / count,
                         taken.size() * (j + 1) / count - taken.size() * j / count);
  };
  std::vector<char> done(count, 0);
  std::vector<std::jthread> threads;
  try {
    for (std::size_t j = 1; j < count; ++j) {
      threads.emplace_back([&, j] { done[j] = read(share(j), nullptr); });
    }
  } catch (const std::system_error&) {
    return false;  // no thread to be had: the threads started are joined as they go
  }
  done[0] = read(share(0), atRow);
  threads.clear();  // joins
  return std::all_of(done.begin(), done.end(), [](char ok) { return ok != 0; });
}

// DecodeRestartIntervals, which also gives where the marker after the last interval taken
// starts, when it is not the scan's last.
bool DecodeIntervalSet(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                       TCoefficientStore& store, const TRowProc& atRow,
                       const TIntervalSet& intervals, int parts, std::size_t* markerAfter) {
  const TScan& scan = model.Scans[0];
  const TMcuLayout layout = ScanLayout(model, scan);
  if (scan.RestartInterval == 0 || intervals.size() != IntervalCount(layout)) return false;
  const std::vector<int> taken = Taken(intervals);
  if (taken.empty()) return true;
  // Marker k ends interval k; the scan's last interval has none. Every marker up to the last
  // interval taken must stand in turn, as the sequential decode reads them: one missing or out
  // of turn would put the blocks after it in the wrong place.
  const std::optional<std::vector<TRestartMarker>> restarts = RestartMarkersInTurn(
      model, bytes, std::min(static_cast<std::size_t>(taken.back()) + 1, intervals.size() - 1));
  if (!restarts) return false;
  const TScanTables tables = ScanTables(model, scan);
  const auto decode = [&](TBitBuffer& bits, TPredictors& predictor, int r, int m) {
    return WalkMcuBlocks(layout, r, m, [&](int c, std::size_t row, std::size_t col) {
      const auto k = static_cast<std::size_t>(c);
      return DecodeBlock(bits, *tables.Dc[k], *tables.Ac[k], predictor[k],
                         store.Block(layout.Components[k].Slot, row, col)) &&
             !bits.MarkerMet();
    });
  };
  if (!ReadInParts(taken, parts, &atRow, [&](std::span<const int> share, const TRowProc* told) {
        return ReadIntervals(model, bytes, *restarts, share, intervals.size(), false, told, decode);
      })) {
    return false;
  }
  const auto last = static_cast<std::size_t>(taken.back());
  if (markerAfter != nullptr && last < restarts->size()) *markerAfter = (*restarts)[last].Start;
  return true;
}

}  // namespace

std::optional<std::vector<TRestartMarker>> RestartMarkersInTurn(const TJpegModel& model,
                                                                std::span<const std::uint8_t> bytes,
                                                                std::size_t count) {
  const TScan& scan = model.Scans[0];
  std::vector<TRestartMarker> restarts =
      FindRestartMarkers(bytes, static_cast<std::size_t>(scan.DataStart),
                         static_cast<std::size_t>(scan.DataEnd), count);
  if (restarts.size() < count) return std::nullopt;
  for (std::size_t k = 0; k < restarts.size(); ++k) {
    if (restarts[k].Number != RestartNumber(static_cast<std::int64_t>(k))) return std::nullopt;
  }
  return restarts;
}

std::size_t RestartIntervalCount(const TJpegModel& model) {
  return IntervalCount(ScanLayout(model, model.Scans[0]));
}

bool WalkRestartIntervals(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                          const std::vector<TRestartMarker>& restarts,
                          const TIntervalSet& intervals, int parts, TDcPicture* dc,
                          std::vector<TMcuStart>* mcuEnds) {
  const TScan& scan = model.Scans[0];
  const TMcuLayout layout = ScanLayout(model, scan);
  if (intervals.size() != IntervalCount(layout) || restarts.size() + 1 != intervals.size() ||
      (mcuEnds != nullptr &&
       mcuEnds->size() != static_cast<std::size_t>(layout.EndCol) * layout.EndRow)) {
    return false;
  }
  const TScanTables scanTables = ScanTables(model, scan);
  const std::optional<TMcuTables> tables = McuTablesOf(scanTables.Dc, scanTables.Ac, layout);
  if (!tables) return false;
  const auto skip = [&](TBitBuffer& bits, TPredictors& predictor, int r, int m) {
    std::array<std::int16_t, kMaxMcuBlocks> dcs;
    if (!SkipMcu(bits, *tables, predictor.data(), dcs.data())) return false;
    if (dc != nullptr) {
      std::size_t j = 0;
      WalkMcuBlocks(layout, r, m, [&](int c, std::size_t row, std::size_t col) {
        dc->Put(layout.Components[static_cast<std::size_t>(c)].Slot, row, col, dcs[j++]);
        return true;
      });
    }
    if (mcuEnds != nullptr) {
      TMcuStart& end =
          (*mcuEnds)[static_cast<std::size_t>(r) * static_cast<std::size_t>(layout.EndCol) +
                     static_cast<std::size_t>(m)];
      end.Place = bits.Place();
      std::copy(predictor.begin(), predictor.end(), end.Predictors.begin());
    }
    return true;
  };
  return ReadInParts(
      Taken(intervals), parts, nullptr, [&](std::span<const int> share, const TRowProc*) {
        return ReadIntervals(model, bytes, restarts, share, intervals.size(), true, nullptr, skip);
      });
}

TIntervalSet IntervalsHolding(const TJpegModel& model, std::span<const TTrimWindow> windows) {
  TIntervalSet intervals(IntervalCount(ScanLayout(model, model.Scans[0])), 0);
  for (const TTrimWindow& window : windows) {
    ForIntervalsOf(model, window, [&](std::size_t k) {
      if (k < intervals.size()) intervals[k] = 1;
      return true;
    });
  }
  return intervals;
}

bool IntervalsCover(const TJpegModel& model, const TIntervalSet& intervals,
                    const TTrimWindow& window) {
  return ForIntervalsOf(model, window,
                        [&](std::size_t k) { return k < intervals.size() && intervals[k] != 0; });
}

bool DecodeRestartIntervals(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                            TCoefficientStore& store, const TRowProc& atRow,
                            const TIntervalSet& intervals, int parts) {
  return DecodeIntervalSet(model, bytes, store, atRow, intervals, parts, nullptr);
}

bool DecodeInRestartParts(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                          TCoefficientStore& store, const TRowProc& atRow, int firstRow, int endRow,
                          int parts, std::size_t* markerAfter) {
  const TMcuLayout layout = ScanLayout(model, model.Scans[0]);
  const std::int64_t cols = layout.EndCol;
  const std::int64_t interval = layout.RestartInterval;
  const int rows = std::min(endRow, layout.EndRow);
  if (interval == 0 || parts < 2 || rows - firstRow < 2 || layout.EndRow != model.McuRows) {
    return false;
  }
  if (firstRow * cols % interval != 0 || (rows != layout.EndRow && rows * cols % interval != 0)) {
    return false;
  }
  TTrimWindow window;
  window.FirstRow = firstRow;
  window.EndRow = rows;
  window.EndCol = model.McuCols;
  return DecodeIntervalSet(model, bytes, store, atRow,
                           IntervalsHolding(model, std::span(&window, 1)), parts, markerAfter);
}

}  // namespace tarvo
