#include "WindowTables.h"

#include <algorithm>
#include <utility>

#include "JpegMarkers.h"
#include "OptimalHuffmanTable.h"

namespace tarvo {

namespace {

bool AnyCounted(const TSymbolCounts& counts) {
  return std::any_of(counts.begin(), counts.end(), [](std::uint64_t count) { return count != 0; });
}

bool Covers(const THuffmanEncodeTable& table, const TSymbolCounts& counts) {
  for (std::size_t symbol = 0; symbol < counts.size(); ++symbol) {
    if (counts[symbol] != 0 && table.Length[symbol] == 0) return false;
  }
  return true;
}

// Fits the table of slot to counts and appends it to the DHT segment.
void Fit(TWindowTables& tables, std::size_t slot, const TSymbolCounts& counts) {
  const TOptimalCode code = BuildOptimalCode(counts);
  AppendDhtTable(tables.Dht, static_cast<int>(slot / 4), static_cast<int>(slot % 4), code.Counts,
                 code.Symbols.data());
  THuffmanTable table;
  table.Assign(code.Counts, code.Symbols.data());
  tables.Encode[slot].Build(table);
}

// Counts the symbols of the window per output table slot; false when a coefficient is beyond
// what a Huffman symbol can name.
bool CountWindow(const TJpegModel& model, const TBlockSource& blocks, const TTrimWindow& window,
                 const TWindowTables& tables, std::array<TSymbolCounts, kHuffmanSlots>& counts) {
  // The window's first blocks and those after its restart points are coded against 0, and
  // the first block of each window row against the end of the row above, so the window can
  // need DC categories, and odd encoders AC symbols, that the source's own blocks never used.
  return WalkWindow(
      model, blocks, window, {}, [](int) {},
      [&](int slot, std::size_t, std::size_t, const std::int16_t* block, int& predictor) {
        const auto s = static_cast<std::size_t>(slot);
        return CountBlockSymbols(block, predictor,
                                 counts[static_cast<std::size_t>(tables.DcSlot[s])],
                                 counts[static_cast<std::size_t>(tables.AcSlot[s])]);
      },
      [] {});
}

// The selectors of the file's one scan, and the tables in force at it.
void TakeSourceTables(const TJpegModel& model, TWindowTables& tables) {
  for (const TScanComponent& component : model.Scans[0].Components) {
    const auto slot = static_cast<std::size_t>(component.Component);
    tables.DcSlot[slot] = HuffmanSlot(0, component.Selectors >> 4);
    tables.AcSlot[slot] = HuffmanSlot(1, component.Selectors & 15);
  }
  for (std::size_t i = 0; i < kHuffmanSlots; ++i) {
    tables.Encode[i].Build(model.Table(model.HeaderTables[i]));
  }
}

// The file's own scan codes the window: its selectors stay, and its tables where they serve.
bool ChooseForSingleScan(const TJpegModel& model, const TBlockSource& blocks,
                         const TTrimWindow& window, TWindowTables& tables) {
  TakeSourceTables(model, tables);
  std::array<TSymbolCounts, kHuffmanSlots> counts{};
  if (!CountWindow(model, blocks, window, tables, counts)) return false;
  bool covered = true;
  for (std::size_t i = 0; i < kHuffmanSlots; ++i) {
    covered = covered && Covers(tables.Encode[i], counts[i]);
  }
  if (covered && model.StandardTables == 0) return true;
  // One DHT segment with every table in force at the scan, standard ones included, so that the
  // output carries them too; unless they code the whole window, those of the scan are fitted
  // to it.
  tables.Dht = {markers::kDht >> 8, markers::kDht & 0xFF, 0, 0};
  for (std::size_t i = 0; i < kHuffmanSlots; ++i) {
    const THuffmanTable& source = model.Table(model.HeaderTables[i]);
    if (AnyCounted(counts[i]) && !covered) {
      Fit(tables, i, counts[i]);
    } else if (source.Count > 0) {
      AppendDhtTable(tables.Dht, static_cast<int>(i / 4), static_cast<int>(i % 4), source);
    }
  }
  SetDhtSegmentLength(tables.Dht);
  return true;
}

// Several scans become one interleaved scan: the first component codes with tables 0, the
// others share tables 1, as encoders lay out luminance and chrominance. A sequential file's
// tables serve where the components sharing an output table had one source table, and it
// codes every symbol; a progressive file's tables code bands and bits, not blocks, so its
// window always gets fitted tables.
bool ChooseForSeveralScans(const TJpegModel& model, const TBlockSource& blocks,
                           const TTrimWindow& window, TWindowTables& tables) {
  std::array<int, kHuffmanSlots> source;
  source.fill(-1);
  std::array<bool, kHuffmanSlots> shared{};
  shared.fill(!model.Progressive());
  for (const TScan& scan : model.Scans) {
    for (const TScanComponent& component : scan.Components) {
      const int destination = component.Component == 0 ? 0 : 1;
      for (const auto& [tableClass, index] :
           {std::pair{0, component.DcTable}, std::pair{1, component.AcTable}}) {
        const auto slot = static_cast<std::size_t>(HuffmanSlot(tableClass, destination));
        if (source[slot] >= 0 && source[slot] != index) shared[slot] = false;
        source[slot] = index;
      }
    }
  }
  for (std::size_t c = 0; c < model.Components.size(); ++c) {
    tables.DcSlot[c] = HuffmanSlot(0, c == 0 ? 0 : 1);
    tables.AcSlot[c] = HuffmanSlot(1, c == 0 ? 0 : 1);
  }
  std::array<TSymbolCounts, kHuffmanSlots> counts{};
  if (!CountWindow(model, blocks, window, tables, counts)) return false;
  tables.Dht = {markers::kDht >> 8, markers::kDht & 0xFF, 0, 0};
  for (std::size_t i = 0; i < kHuffmanSlots; ++i) {
    if (!AnyCounted(counts[i])) continue;
    if (shared[i] && source[i] >= 0) {
      tables.Encode[i].Build(model.Table(source[i]));
      if (Covers(tables.Encode[i], counts[i])) {
        AppendDhtTable(tables.Dht, static_cast<int>(i / 4), static_cast<int>(i % 4),
                       model.Table(source[i]));
        continue;
      }
    }
    Fit(tables, i, counts[i]);
  }
  SetDhtSegmentLength(tables.Dht);
  // The scan header of the output: every component in frame order (ITU-T T.81 B.2.3).
  const auto count = static_cast<std::uint8_t>(model.Components.size());
  tables.ScanHeader = {markers::kSos >> 8, markers::kSos & 0xFF, 0,
                       static_cast<std::uint8_t>(6 + 2 * count), count};
  for (std::size_t c = 0; c < count; ++c) {
    tables.ScanHeader.push_back(model.Components[c].Id);
    tables.ScanHeader.push_back(
        static_cast<std::uint8_t>((tables.DcSlot[c] % 4) << 4 | (tables.AcSlot[c] % 4)));
  }
  tables.ScanHeader.insert(tables.ScanHeader.end(), {0, 63, 0});
  return true;
}

}  // namespace

bool SourceWindowTables(const TJpegModel& model, TWindowTables& tables) {
  tables.Dht.clear();
  tables.ScanHeader.clear();
  if (!model.SingleScan() || model.StandardTables != 0) return false;
  TakeSourceTables(model, tables);
  return true;
}

bool ChooseWindowTables(const TJpegModel& model, const TBlockSource& blocks,
                        const TTrimWindow& window, TWindowTables& tables) {
  tables.Dht.clear();
  tables.ScanHeader.clear();
  return model.SingleScan() ? ChooseForSingleScan(model, blocks, window, tables)
                            : ChooseForSeveralScans(model, blocks, window, tables);
}

}  // namespace tarvo
