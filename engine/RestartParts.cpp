#include "RestartParts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

#include "BitStreamFile.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "McuWalk.h"
#include "ScanWalk.h"

namespace tarvo {

namespace {

// A restart marker inside the coded data: its first 0xFF (fill bytes included), where the next
// interval's data start, and its number n of RSTn.
struct TRestartMarker {
  std::size_t Start = 0;
  std::size_t Next = 0;
  int Number = 0;
};

// The first count restart markers of the coded data from start to end; fewer where the data hold
// fewer before a marker that ends them.
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
    if (data[code] != 0x00) found.push_back({marker, code + 1, data[code] & 7});
    at = code + 1;
  }
  return found;
}

// MCU rows FirstRow to EndRow (exclusive), whose coded data start at Start; restart marker
// FirstMarker ends its first interval.
struct TPart {
  int FirstRow = 0;
  int EndRow = 0;
  std::size_t Start = 0;
  std::size_t FirstMarker = 0;
};

// Decodes part as the sequential decode would, with the same bit reader and block decoder, and
// checks that every interval inside it, and the part itself unless it is the last one decoded,
// ends exactly where the sequential decode reads the next restart marker in turn.
bool DecodePart(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                const std::vector<TRestartMarker>& restarts, const TPart& part, bool last,
                TCoefficientStore& store, const TRowProc* atRow) {
  const TScan& scan = model.Scans[0];
  const TScanTables tables = ScanTables(model, scan);
  TMcuLayout layout = ScanLayout(model, scan);
  layout.FirstRow = part.FirstRow;
  layout.EndRow = part.EndRow;
  EJpegError markerFault = EJpegError::kNone;
  TBitBuffer bits(bytes.data(), bytes.size(), &markerFault);
  bits.Start(part.Start);
  std::array<int, TCoefficientStore::kMaxComponents> predictor{};
  std::size_t next = part.FirstMarker;
  const auto atMarker = [&] {
    return next < restarts.size() && bits.Position() == restarts[next].Start &&
           restarts[next].Number == static_cast<int>(next % 8);
  };
  try {
    const bool walked = WalkMcus(
        layout,
        [&](int row) {
          if (atRow != nullptr) (*atRow)(row);
        },
        [&](int c, std::size_t row, std::size_t col) {
          const auto k = static_cast<std::size_t>(c);
          return DecodeBlock(bits, *tables.Dc[k], *tables.Ac[k], predictor[k],
                             store.Block(layout.Components[k].Slot, row, col)) &&
                 !bits.MarkerMet();
        },
        [&] {
          if (!atMarker()) return false;
          predictor.fill(0);
          bits.Start(restarts[next++].Next);
          return true;
        });
    return walked && (last || atMarker());
  } catch (const EStreamError&) {
    return false;
  }
}

}  // namespace

bool DecodeInRestartParts(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                          TCoefficientStore& store, const TRowProc& atRow, int firstRow, int endRow,
                          int parts, std::size_t* markerAfter) {
  const TScan& scan = model.Scans[0];
  const TMcuLayout layout = ScanLayout(model, scan);
  const std::int64_t cols = layout.EndCol;
  const std::int64_t interval = scan.RestartInterval;
  const int rows = std::min(endRow, layout.EndRow);
  if (interval == 0 || parts < 2 || rows - firstRow < 2) return false;
  // A part starts where an interval starts a row: row r does when r x cols is a multiple of the
  // interval, that is every step rows. Each part starts at the such row nearest its share.
  const std::int64_t step = interval / std::gcd(interval, cols);
  const bool toTheEnd = rows == layout.EndRow;
  if (firstRow % step != 0 || (!toTheEnd && rows % step != 0)) return false;
  std::vector<int> firstRows{firstRow};
  for (int j = 1; j < parts; ++j) {
    const std::int64_t share = firstRow + std::int64_t{rows - firstRow} * j / parts;
    const std::int64_t row = (share + step / 2) / step * step;
    if (row > firstRows.back() && row < rows) firstRows.push_back(static_cast<int>(row));
  }
  if (firstRows.size() < 2) return false;
  // One marker after each interval decoded but the scan's last.
  const std::int64_t intervals = (std::int64_t{rows} * cols + interval - 1) / interval;
  const std::vector<TRestartMarker> restarts = FindRestartMarkers(
      bytes, static_cast<std::size_t>(scan.DataStart), static_cast<std::size_t>(scan.DataEnd),
      static_cast<std::size_t>(toTheEnd ? intervals - 1 : intervals));
  if (!toTheEnd && restarts.size() < static_cast<std::size_t>(intervals)) return false;
  std::vector<TPart> split;
  for (std::size_t j = 0; j < firstRows.size(); ++j) {
    const auto firstMarker = static_cast<std::size_t>(firstRows[j] * cols / interval);
    if (firstMarker > restarts.size()) return false;
    split.push_back({firstRows[j], j + 1 < firstRows.size() ? firstRows[j + 1] : rows,
                     firstRows[j] == 0 ? static_cast<std::size_t>(scan.DataStart)
                                       : restarts[firstMarker - 1].Next,
                     firstMarker});
  }
  std::vector<char> decoded(split.size(), 0);
  std::vector<std::jthread> threads;
  try {
    for (std::size_t j = 1; j < split.size(); ++j) {
      threads.emplace_back([&, j] {
        decoded[j] = DecodePart(model, bytes, restarts, split[j], toTheEnd && j + 1 == split.size(),
                                store, nullptr);
      });
    }
  } catch (const std::system_error&) {
    return false;  // no thread to be had: the threads started are joined as they go
  }
  decoded[0] = DecodePart(model, bytes, restarts, split[0], false, store, &atRow);
  threads.clear();  // joins
  if (!std::all_of(decoded.begin(), decoded.end(), [](char ok) { return ok != 0; })) return false;
  if (!toTheEnd && markerAfter != nullptr) {
    *markerAfter = restarts[static_cast<std::size_t>(intervals - 1)].Start;
  }
  return true;
}

}  // namespace tarvo
