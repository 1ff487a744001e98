#include "WindowTables.h"

#include <algorithm>

#include "JpegMarkers.h"
#include "Messages.h"
#include "OptimalHuffmanTable.h"

namespace tarvo {

bool ChooseWindowTables(const TJpegModel& model, const TCoefficientStore& store,
                        const TTrimWindow& window, TWindowTables& tables,
                        const std::function<void(std::string_view)>& failure) {
  const TScan& scan = model.Scans[0];
  for (const TScanComponent& component : scan.Components) {
    const auto slot = static_cast<std::size_t>(component.Component);
    tables.DcSlot[slot] = HuffmanSlot(0, component.Selectors >> 4);
    tables.AcSlot[slot] = HuffmanSlot(1, component.Selectors & 15);
  }
  for (std::size_t i = 0; i < kHuffmanSlots; ++i) {
    tables.Encode[i].Build(model.Table(model.HeaderTables[i]));
  }
  tables.Dht.clear();

  // The window's first blocks and those after its restart points are coded against 0, and
  // the first block of each window row against the end of the row above, so the window can
  // need DC categories, and odd encoders AC symbols, that the source's own blocks never used.
  std::array<TSymbolCounts, kHuffmanSlots> counts{};
  const bool codable = WalkWindow(
      model, store, window, scan.RestartInterval, [](int) {},
      [&](int slot, const std::int16_t* block, int& predictor) {
        const auto s = static_cast<std::size_t>(slot);
        return CountBlockSymbols(block, predictor,
                                 counts[static_cast<std::size_t>(tables.DcSlot[s])],
                                 counts[static_cast<std::size_t>(tables.AcSlot[s])]);
      },
      [] {});
  if (!codable) {
    failure(kMsgUncodableCoefficient);
    return false;
  }
  bool covered = true;
  for (std::size_t i = 0; i < kHuffmanSlots; ++i) {
    for (std::size_t symbol = 0; symbol < 256; ++symbol) {
      covered = covered && (counts[i][symbol] == 0 || tables.Encode[i].Length[symbol] != 0);
    }
  }
  if (covered && model.StandardTables == 0) return true;

  // One DHT segment with every table in force at the scan, standard ones included, so that the
  // output carries them too; unless they code the whole window, those of the scan are fitted
  // to it.
  std::vector<std::uint8_t>& segment = tables.Dht;
  segment = {markers::kDht >> 8, markers::kDht & 0xFF, 0, 0};
  for (std::size_t i = 0; i < kHuffmanSlots; ++i) {
    const int tableClass = static_cast<int>(i / 4);
    const int destination = static_cast<int>(i % 4);
    const bool used = std::any_of(counts[i].begin(), counts[i].end(),
                                  [](std::uint64_t count) { return count != 0; });
    const THuffmanTable& source = model.Table(model.HeaderTables[i]);
    if (used && !covered) {
      const TOptimalCode code = BuildOptimalCode(counts[i]);
      AppendDhtTable(segment, tableClass, destination, code.Counts, code.Symbols.data());
      THuffmanTable table;
      table.Assign(code.Counts, code.Symbols.data());
      tables.Encode[i].Build(table);
    } else if (source.Count > 0) {
      AppendDhtTable(segment, tableClass, destination, source);
    }
  }
  SetDhtSegmentLength(segment);
  return true;
}

}  // namespace tarvo
