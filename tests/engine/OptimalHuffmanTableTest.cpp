// Symbol statistics of blocks and the 16-bit-limited optimal code built from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "HuffmanTable.h"
#include "OptimalHuffmanTable.h"

namespace tarvo::testing {
namespace {

// Code length of each symbol of code, 0 for symbols without one.
std::array<int, 256> LengthsOf(const TOptimalCode& code) {
  std::array<int, 256> lengths{};
  std::size_t next = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < code.Counts[length - 1]; ++i) lengths[code.Symbols.at(next++)] = length;
  }
  EXPECT_EQ(next, code.Symbols.size());
  return lengths;
}

// Checks what every table must be: one code per counted symbol, none longer than 16 bits, and
// a prefix code that leaves the all-ones code point free. Returns the bits the counts cost.
std::uint64_t ExpectSoundCode(const TSymbolCounts& counts, const TOptimalCode& code) {
  const auto lengths = LengthsOf(code);
  std::uint64_t cost = 0;
  for (std::size_t s = 0; s < 256; ++s) {
    EXPECT_EQ(counts[s] != 0, lengths[s] != 0) << s;
    cost += counts[s] * static_cast<std::uint64_t>(lengths[s]);
  }
  // Kraft sum in units of 2^-16: below 2^16, because the all-ones code of the longest length
  // stays unused.
  std::uint32_t kraft = 0;
  for (int length = 1; length <= 16; ++length) kraft += code.Counts[length - 1] << (16 - length);
  EXPECT_LT(kraft, 1u << 16);
  THuffmanTable table;
  table.Assign(code.Counts, code.Symbols.data());
  for (int i = 0; i < table.Count; ++i) {
    EXPECT_NE(table.Codes[i], (1u << table.Lengths[i]) - 1) << "all-ones code at " << i;
  }
  return cost;
}

TEST(OptimalCode, HalvingFrequenciesGiveAUnaryCodeBesideTheReservedPoint) {
  TSymbolCounts counts{};
  counts[0x00] = 8;
  counts[0x01] = 4;
  counts[0x11] = 2;
  counts[0xF0] = 1;
  const TOptimalCode code = BuildOptimalCode(counts);
  // 0, 10, 110, 1110; 1111 is the reserved point.
  const std::uint8_t expected[16] = {1, 1, 1, 1};
  EXPECT_TRUE(std::equal(std::begin(code.Counts), std::end(code.Counts), std::begin(expected)));
  EXPECT_EQ(code.Symbols, (std::vector<std::uint8_t>{0x00, 0x01, 0x11, 0xF0}));
  ExpectSoundCode(counts, code);
}

TEST(OptimalCode, SingleSymbolGetsOneBitAndEmptyCountsNoTable) {
  TSymbolCounts counts{};
  counts[7] = 1000;
  const TOptimalCode code = BuildOptimalCode(counts);
  EXPECT_EQ(code.Counts[0], 1);
  EXPECT_EQ(std::accumulate(std::begin(code.Counts), std::end(code.Counts), 0), 1);
  EXPECT_EQ(code.Symbols, std::vector<std::uint8_t>{7});
  ExpectSoundCode(counts, code);

  const TOptimalCode none = BuildOptimalCode(TSymbolCounts{});
  EXPECT_TRUE(none.Symbols.empty());
  EXPECT_EQ(std::accumulate(std::begin(none.Counts), std::end(none.Counts), 0), 0);
}

TEST(OptimalCode, FibonacciFrequenciesAreCutToSixteenBits) {
  // Unlimited, these would make a code 39 bits deep.
  TSymbolCounts counts{};
  std::uint64_t a = 1, b = 1;
  for (std::size_t s = 0; s < 40; ++s) {
    counts[s * 3] = a;
    const std::uint64_t next = a + b;
    a = b;
    b = next;
  }
  const TOptimalCode code = BuildOptimalCode(counts);
  EXPECT_EQ(code.Symbols.size(), 40u);
  ExpectSoundCode(counts, code);
  EXPECT_GT(code.Counts[15], 0);
}

TEST(OptimalCode, AllSymbolsWithSkewedFrequencies) {
  for (const int seed : {1, 2, 3}) {
    SCOPED_TRACE(seed);
    TSymbolCounts counts{};
    std::uint64_t state = static_cast<std::uint64_t>(seed) * 0x9E3779B97F4A7C15ull;
    for (std::size_t s = 0; s < 256; ++s) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      // From 1 up to about 2^40: a spread no 16-bit code can follow.
      counts[s] = 1 + ((state >> 24) & 0xFF) * (std::uint64_t{1} << (s % 33));
    }
    const TOptimalCode code = BuildOptimalCode(counts);
    EXPECT_EQ(code.Symbols.size(), 256u);
    // Within a bit per symbol of the entropy, as an optimal code is, even cut to 16 bits.
    double total = 0;
    for (const std::uint64_t count : counts) total += static_cast<double>(count);
    double entropy = 0;
    for (const std::uint64_t count : counts) {
      entropy -= static_cast<double>(count) * std::log2(static_cast<double>(count) / total);
    }
    const auto cost = static_cast<double>(ExpectSoundCode(counts, code));
    EXPECT_GE(cost, entropy);
    EXPECT_LT(cost, entropy + total);
  }
  // Equal counts: 256 codes of 8 bits would take the reserved point, so one gets 9 bits.
  TSymbolCounts equal;
  equal.fill(5);
  const TOptimalCode flat = BuildOptimalCode(equal);
  EXPECT_EQ(flat.Counts[7], 255);
  EXPECT_EQ(flat.Counts[8], 1);
  ExpectSoundCode(equal, flat);
}

TEST(BlockSymbols, FollowTheEncodersRunLengthConventions) {
  std::int16_t block[64] = {};
  block[0] = 37;
  block[41] = -3;  // 40 zeros before it: ZRL, ZRL, run 8 size 2
  block[63] = 1;   // the last coefficient: run 21 is ZRL then run 5, and no EOB
  TSymbolCounts dc{}, ac{};
  int predictor = 40;
  ASSERT_TRUE(CountBlockSymbols(block, predictor, dc, ac));
  EXPECT_EQ(predictor, 37);
  EXPECT_EQ(dc[2], 1u);  // difference -3
  EXPECT_EQ(ac[0xF0], 3u);
  EXPECT_EQ(ac[0x82], 1u);
  EXPECT_EQ(ac[0x51], 1u);
  EXPECT_EQ(ac[0x00], 0u);
  EXPECT_EQ(std::accumulate(ac.begin(), ac.end(), std::uint64_t{0}), 5u);

  // The same block again codes a difference of 0; an all-zero AC part is one EOB.
  std::int16_t flat[64] = {37};
  ASSERT_TRUE(CountBlockSymbols(flat, predictor, dc, ac));
  EXPECT_EQ(dc[0], 1u);
  EXPECT_EQ(ac[0x00], 1u);
}

TEST(BlockSymbols, DifferenceBeyondFifteenBitsCannotBeCoded) {
  // Both DC values fit 16 bits; their difference may need 16 magnitude bits.
  std::int16_t block[64] = {-32768};
  TSymbolCounts dc{}, ac{};
  int predictor = -1;
  EXPECT_TRUE(CountBlockSymbols(block, predictor, dc, ac));
  EXPECT_EQ(dc[15], 1u);
  predictor = 32767;
  EXPECT_FALSE(CountBlockSymbols(block, predictor, dc, ac));
  predictor = 0;
  EXPECT_FALSE(CountBlockSymbols(block, predictor, dc, ac));
}

}  // namespace
}  // namespace tarvo::testing
