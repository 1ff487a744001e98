// Huffman tables fitted to the blocks they code: symbol statistics of blocks and the
// length-limited optimal code of ITU-T T.81 Annex K.2.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "HuffmanTable.h"

namespace tarvo {

// How often each symbol (DC category, or AC run/size) is coded with one table.
using TSymbolCounts = std::array<std::uint64_t, 256>;

// Counts the symbols that coding block against predictor writes (the same run-length
// conventions as the block encoder: ZRL only before a non-zero coefficient, EOB only after
// trailing zeros); the predictor then holds the block's DC value. False when a value falls
// into a magnitude category above 15, which no table can code.
bool CountBlockSymbols(const std::int16_t* block, int& predictor, TSymbolCounts& dc,
                       TSymbolCounts& ac);

// The optimal code lengths for counts, none longer than 16 bits and with the all-ones code
// point left free, as BITS[1..16] and HUFFVAL (ITU-T T.81 K.2, Figures K.1 to K.4). Symbols
// never counted get no code; without any counted symbol the table is empty.
struct TOptimalCode {
  std::uint8_t Counts[16] = {};
  std::vector<std::uint8_t> Symbols;
};
TOptimalCode BuildOptimalCode(const TSymbolCounts& counts);

// One table of a DHT segment: class/destination byte, BITS[1..16], HUFFVAL (ITU-T T.81 B.2.4.2).
void AppendDhtTable(std::vector<std::uint8_t>& segment, int tableClass, int destination,
                    const std::uint8_t (&counts)[16], const std::uint8_t* symbols);
void AppendDhtTable(std::vector<std::uint8_t>& segment, int tableClass, int destination,
                    const THuffmanTable& table);
// Writes the length word of a DHT segment that starts with its marker and holds its tables.
void SetDhtSegmentLength(std::vector<std::uint8_t>& segment);

}  // namespace tarvo
