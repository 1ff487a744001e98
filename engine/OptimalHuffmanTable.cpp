#include "OptimalHuffmanTable.h"

#include <algorithm>
#include <bit>

#include "HuffmanBlockCoder.h"

namespace tarvo {

namespace {

constexpr int kMaxCodeLength = 16;
// FREQ(256) of Figure K.1: a symbol of count 1 that holds the all-ones code point until
// Figure K.3 takes its code away again, so that no real code consists of 1-bits only.
constexpr int kReserved = 256;
constexpr int kEntries = 257;

}  // namespace

bool CountBlockSymbols(const std::int16_t* block, int& predictor, TSymbolCounts& dc,
                       TSymbolCounts& ac) {
  const int dcCategory = MagnitudeCategory(block[0] - predictor);
  if (dcCategory > kMaxCategory) return false;
  ++dc[static_cast<std::size_t>(dcCategory)];
  predictor = block[0];
  // The AC coefficients other than zero.
  std::uint64_t nonZero = NonZeroMask(block) & ~std::uint64_t{1};
  int last = 0;
  for (; nonZero != 0; nonZero &= nonZero - 1) {
    const int k = std::countr_zero(nonZero);
    const int zeros = k - last - 1;
    ac[0xF0] += static_cast<unsigned>(zeros / 16);  // ZRL: sixteen zeros each
    const int size = MagnitudeCategory(block[k]);
    if (size > kMaxCategory) return false;
    ++ac[static_cast<std::size_t>((zeros % 16) * 16 + size)];
    last = k;
  }
  if (last < kBlockSize - 1) ++ac[0x00];  // EOB
  return true;
}

TOptimalCode BuildOptimalCode(const TSymbolCounts& counts) {
  std::array<std::uint64_t, kEntries> freq{};
  std::copy(counts.begin(), counts.end(), freq.begin());
  freq[kReserved] = 1;
  // Figure K.1: join the two least frequent trees until one is left; every join lengthens the
  // codes of both trees' symbols by one. Ties go to the larger symbol, as the figure says.
  std::array<int, kEntries> codeSize{};
  std::array<int, kEntries> others;
  others.fill(-1);
  for (;;) {
    int v1 = -1;
    for (int v = 0; v < kEntries; ++v) {
      if (freq[v] != 0 && (v1 < 0 || freq[v] <= freq[v1])) v1 = v;
    }
    int v2 = -1;
    for (int v = 0; v < kEntries; ++v) {
      if (v != v1 && freq[v] != 0 && (v2 < 0 || freq[v] <= freq[v2])) v2 = v;
    }
    if (v2 < 0) break;
    freq[v1] += freq[v2];
    freq[v2] = 0;
    for (int v = v1;; v = others[v]) {
      ++codeSize[v];
      if (others[v] < 0) {
        others[v] = v2;
        break;
      }
    }
    for (int v = v2; v >= 0; v = others[v]) ++codeSize[v];
  }

  // Figure K.2. A tree of 257 leaves is at most 256 deep.
  std::array<int, kEntries> bits{};
  int longest = 0;
  for (int v = 0; v < kEntries; ++v) {
    if (codeSize[v] == 0) continue;
    ++bits[static_cast<std::size_t>(codeSize[v])];
    longest = std::max(longest, codeSize[v]);
  }
  // Figure K.3: a pair of codes longer than 16 bits shares one prefix; one of them takes the
  // place of that prefix and the other joins a shorter code J as its sibling at length J + 1.
  for (int i = longest; i > kMaxCodeLength; --i) {
    while (bits[static_cast<std::size_t>(i)] > 0) {
      int j = i - 2;
      while (bits[static_cast<std::size_t>(j)] == 0) --j;
      bits[static_cast<std::size_t>(i)] -= 2;
      bits[static_cast<std::size_t>(i - 1)] += 1;
      bits[static_cast<std::size_t>(j + 1)] += 2;
      bits[static_cast<std::size_t>(j)] -= 1;
    }
  }
  // The reserved symbol gives back one of the longest codes: the all-ones one.
  int last = std::min(longest, kMaxCodeLength);
  while (last > 0 && bits[static_cast<std::size_t>(last)] == 0) --last;
  if (last > 0) --bits[static_cast<std::size_t>(last)];

  TOptimalCode code;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    code.Counts[length - 1] = static_cast<std::uint8_t>(bits[static_cast<std::size_t>(length)]);
  }
  // Figure K.4: symbols by code size, then by value; the reserved symbol is left out.
  for (int size = 1; size <= longest; ++size) {
    for (int v = 0; v < kReserved; ++v) {
      if (codeSize[v] == size) code.Symbols.push_back(static_cast<std::uint8_t>(v));
    }
  }
  return code;
}

void AppendDhtTable(std::vector<std::uint8_t>& segment, int tableClass, int destination,
                    const std::uint8_t (&counts)[16], const std::uint8_t* symbols) {
  segment.push_back(static_cast<std::uint8_t>(tableClass << 4 | destination));
  int total = 0;
  for (const std::uint8_t count : counts) {
    segment.push_back(count);
    total += count;
  }
  segment.insert(segment.end(), symbols, symbols + total);
}

void AppendDhtTable(std::vector<std::uint8_t>& segment, int tableClass, int destination,
                    const THuffmanTable& table) {
  std::uint8_t counts[16] = {};
  for (int i = 0; i < table.Count; ++i) ++counts[table.Lengths[static_cast<std::size_t>(i)] - 1];
  AppendDhtTable(segment, tableClass, destination, counts, table.Symbols.data());
}

void SetDhtSegmentLength(std::vector<std::uint8_t>& segment) {
  // Eight tables of at most 17 + 256 bytes each keep the length within 16 bits.
  segment[2] = static_cast<std::uint8_t>((segment.size() - 2) >> 8);
  segment[3] = static_cast<std::uint8_t>(segment.size() - 2);
}

}  // namespace tarvo
