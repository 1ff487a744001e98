// The Huffman tables a trim codes its window with, chosen before anything is written.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "BlockSource.h"
#include "CoefficientStore.h"
#include "HuffmanTable.h"
#include "JpegModel.h"
#include "TrimWindow.h"

namespace tarvo {

struct TWindowTables {
  std::array<THuffmanEncodeTable, kHuffmanSlots> Encode;
  // Per frame component, the slots of its DC and AC tables in the output.
  std::array<int, TCoefficientStore::kMaxComponents> DcSlot{};
  std::array<int, TCoefficientStore::kMaxComponents> AcSlot{};
  // A whole DHT segment that replaces the source's DHT segments in the output; empty when they
  // are copied as they stand.
  std::vector<std::uint8_t> Dht;
  // A whole scan header for the output's one interleaved scan; empty when the source's serves.
  std::vector<std::uint8_t> ScanHeader;
};

// The tables of the file's single scan as they stand, with its DHT segments copied: what a
// window gets whenever they code every symbol in it. False for a file that leaves a table to the
// standard ones or codes in several scans, whose windows need tables of their own.
bool SourceWindowTables(const TJpegModel& model, TWindowTables& tables);

// The source's tables when they hold a code for every symbol of the window, else tables fitted
// to it (ITU-T T.81 K.2). False when a coefficient is beyond what any table can code.
bool ChooseWindowTables(const TJpegModel& model, const TBlockSource& blocks,
                        const TTrimWindow& window, TWindowTables& tables);

}  // namespace tarvo
