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
  if (covered) return true;

  // One DHT segment with every table the source defines, those of the scan fitted to the
  // window.
  std::vector<std::uint8_t>& segment = tables.Dht;
  segment = {markers::kDht >> 8, markers::kDht & 0xFF, 0, 0};
  for (std::size_t i = 0; i < kHuffmanSlots; ++i) {
    const int tableClass = static_cast<int>(i / 4);
    const int destination = static_cast<int>(i % 4);
    const bool used = std::any_of(counts[i].begin(), counts[i].end(),
                                  [](std::uint64_t count) { return count != 0; });
    const THuffmanTable& source = model.Table(model.HeaderTables[i]);
    if (used) {
      const TOptimalCode code = BuildOptimalCode(counts[i]);
      AppendDhtTable(segment, tableClass, destination, code.Counts, code.Symbols.data());
      THuffmanTable table;
      table.Assign(code.Counts, code.Symbols.data());
      tables.Encode[i].Build(table);
    } else if (source.Count > 0) {
      AppendDhtTable(segment, tableClass, destination, source);
    }
  }
  // Eight tables of at most 17 + 256 bytes each keep the length within 16 bits.
  segment[2] = static_cast<std::uint8_t>((segment.size() - 2) >> 8);
  segment[3] = static_cast<std::uint8_t>(segment.size() - 2);
  return true;
}

}  // namespace tarvo
