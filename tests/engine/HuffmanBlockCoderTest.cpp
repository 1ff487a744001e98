// Huffman coding of single blocks: symbol decoding, run lengths, categories, failures.
#include "HuffmanBlockCoder.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "EngineTestSupport.h"
#include "JpegModelReader.h"
#include "ScanWalk.h"

namespace tarvo {
namespace {

using fixtures::Bytes;
using testing::BytesOf;

THuffmanTable MakeTable(const std::vector<int>& counts, const std::vector<std::uint8_t>& symbols) {
  std::uint8_t bits[16] = {};
  for (std::size_t i = 0; i < counts.size(); ++i) bits[i] = static_cast<std::uint8_t>(counts[i]);
  EXPECT_TRUE(IsValidCodeLengthCounts(bits));
  THuffmanTable table;
  table.Assign(bits, symbols.data());
  return table;
}

// Code lengths of ITU-T T.81 Table K.3 (luminance DC): categories 0..11.
THuffmanTable DcTable() {
  return MakeTable({0, 1, 5, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
}

// Code lengths of Table K.5 (luminance AC) over every baseline AC symbol, EOB optional.
THuffmanTable AcTable(bool withEob = true) {
  std::vector<std::uint8_t> symbols;
  if (withEob) symbols.push_back(0x00);
  symbols.push_back(0xF0);
  for (int run = 0; run < 16; ++run) {
    for (int size = 1; size <= 10; ++size)
      symbols.push_back(static_cast<std::uint8_t>(run << 4 | size));
  }
  std::vector<int> counts = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 125};
  if (!withEob) counts[15] -= 1;
  return MakeTable(counts, symbols);
}

THuffmanEncodeTable EncodeTableOf(const THuffmanTable& table) {
  THuffmanEncodeTable encode;
  encode.Build(table);
  return encode;
}

// Writes symbols of table by hand: the reference the block encoder is held against.
struct ManualBits {
  TByteStream stream;
  TOutBitStreamFile writer{stream};
  void Symbol(const THuffmanEncodeTable& table, int symbol) {
    ASSERT_NE(table.Length[static_cast<std::size_t>(symbol)], 0);
    writer.WriteBits(table.Code[static_cast<std::size_t>(symbol)],
                     table.Length[static_cast<std::size_t>(symbol)]);
  }
};

std::vector<std::uint8_t> EncodeToBytes(const std::int16_t* block, int predictor = 0,
                                        bool withEob = true) {
  TByteStream stream;
  TOutBitStreamFile writer(stream);
  EXPECT_TRUE(EncodeBlock(writer, EncodeTableOf(DcTable()), EncodeTableOf(AcTable(withEob)),
                          predictor, block));
  writer.FlushBits();
  return BytesOf(stream);
}

TEST(HuffmanEncode, LongRunGoesOutAsZrlsThenTheSymbol) {
  std::int16_t block[64] = {};
  block[41] = 3;  // 40 zeros before it
  const auto dc = EncodeTableOf(DcTable());
  const auto ac = EncodeTableOf(AcTable());
  ManualBits manual;
  manual.Symbol(dc, 0);
  manual.Symbol(ac, 0xF0);
  manual.Symbol(ac, 0xF0);
  manual.Symbol(ac, 0x82);
  manual.writer.WriteBits(3, 2);
  manual.Symbol(ac, 0x00);
  manual.writer.FlushBits();
  EXPECT_EQ(EncodeToBytes(block), BytesOf(manual.stream));
}

TEST(HuffmanEncode, EmptyBlockIsDcCategoryZeroAndEob) {
  std::int16_t block[64] = {};
  block[0] = 7;
  const auto dc = EncodeTableOf(DcTable());
  const auto ac = EncodeTableOf(AcTable());
  ManualBits manual;
  manual.Symbol(dc, 0);
  manual.Symbol(ac, 0x00);
  manual.writer.FlushBits();
  EXPECT_EQ(EncodeToBytes(block, 7), BytesOf(manual.stream));
}

TEST(HuffmanEncode, DcDifferencesUseOnesComplementForNegatives) {
  const auto dc = EncodeTableOf(DcTable());
  struct Case {
    int difference, category;
    std::uint32_t bits;
  };
  for (const Case c :
       {Case{-1, 1, 0}, Case{1, 1, 1}, Case{-3, 2, 0}, Case{5, 3, 5}, Case{-1024, 11, 1023}}) {
    TByteStream actual;
    {
      TOutBitStreamFile writer(actual);
      ASSERT_TRUE(EncodeDc(writer, dc, c.difference));
      writer.FlushBits();
    }
    ManualBits manual;
    manual.Symbol(dc, c.category);
    manual.writer.WriteBits(c.bits, c.category);
    manual.writer.FlushBits();
    EXPECT_EQ(BytesOf(actual), BytesOf(manual.stream)) << c.difference;
  }
}

TEST(HuffmanEncode, LastCoefficientNeedsNoEob) {
  std::int16_t block[64] = {};
  block[63] = -2;
  // The AC table lacks EOB: the encoder must not need it for this block, but must for others.
  const auto bytes = EncodeToBytes(block, 0, false);
  TByteStream stream;
  TOutBitStreamFile writer(stream);
  int predictor = 0;
  block[63] = 0;
  block[62] = 1;
  EXPECT_FALSE(EncodeBlock(writer, EncodeTableOf(DcTable()), EncodeTableOf(AcTable(false)),
                           predictor, block));
  // Decoding the first block ends at coefficient 63 without reading an EOB.
  TByteStream in;
  in.Assign(bytes);
  TInBitStreamFile reader(in);
  std::int16_t decoded[64];
  predictor = 0;
  ASSERT_TRUE(DecodeBlock(reader, DcTable(), AcTable(false), predictor, decoded));
  EXPECT_EQ(decoded[63], -2);
  EXPECT_EQ(reader.Position(), in.Size());
}

// Each coefficient alone, with values whose low or high byte is zero, and the whole block:
// a flag gathered into the wrong bit, or one lost to a carry, moves or drops a coefficient.
TEST(HuffmanEncode, NonZeroMaskFlagsExactlyTheCoefficientsThatAreNotZero) {
  for (const std::int16_t value : {std::int16_t{1}, std::int16_t{-1}, std::int16_t{256},
                                   std::int16_t{-32768}, std::int16_t{0x7F00}}) {
    for (int k = 0; k < kBlockSize; ++k) {
      std::int16_t block[kBlockSize] = {};
      block[k] = value;
      EXPECT_EQ(NonZeroMask(block), std::uint64_t{1} << k) << value << " at " << k;
    }
  }
  std::int16_t full[kBlockSize];
  for (int k = 0; k < kBlockSize; ++k) full[k] = static_cast<std::int16_t>(k % 2 == 0 ? k + 1 : -k);
  EXPECT_EQ(NonZeroMask(full), ~std::uint64_t{0});
  const std::int16_t empty[kBlockSize] = {};
  EXPECT_EQ(NonZeroMask(empty), 0u);
}

TEST(HuffmanEncode, MissingSymbolFailsInsteadOfWritingGarbage) {
  const auto dc = EncodeTableOf(MakeTable({0, 3}, {0, 1, 2}));  // categories 0..2 only
  TByteStream stream;
  TOutBitStreamFile writer(stream);
  EXPECT_TRUE(EncodeDc(writer, dc, 3));
  EXPECT_FALSE(EncodeDc(writer, dc, 4));
  EXPECT_FALSE(EncodeAc(writer, EncodeTableOf(AcTable()), 1 << 11, 0));
}

TEST(HuffmanDecode, UnmatchedPatternReadsTheLongestCodeLength) {
  // Codes 0, 10, 110, ... 111111110: nine bits of ones match nothing.
  const THuffmanTable table = MakeTable({1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  for (const bool nearEnd : {false, true}) {
    // Near a marker the decoder goes bit by bit; with bytes ahead it is table-driven.
    std::vector<std::uint8_t> bytes = {0xFF, 0x00, 0xFF, 0xD9};
    if (!nearEnd) {
      bytes[3] = 0x00;
      bytes.resize(24, 0x11);
    }
    TByteStream stream;
    stream.Assign(bytes);
    TInBitStreamFile reader(stream);
    EXPECT_EQ(DecodeSymbol(reader, table), -1);
    EXPECT_EQ(reader.BitPosition(), 6);
    EXPECT_EQ(reader.Position(), 4);
  }
}

std::vector<std::uint8_t> EncodeSymbols(const std::vector<std::pair<int, int>>& symbolsAndBits,
                                        const THuffmanEncodeTable& dc,
                                        const THuffmanEncodeTable& ac) {
  ManualBits manual;
  manual.Symbol(dc, symbolsAndBits[0].first);
  manual.writer.WriteBits(static_cast<std::uint32_t>(symbolsAndBits[0].second),
                          symbolsAndBits[0].first);
  for (std::size_t i = 1; i < symbolsAndBits.size(); ++i) {
    manual.Symbol(ac, symbolsAndBits[i].first);
    manual.writer.WriteBits(static_cast<std::uint32_t>(symbolsAndBits[i].second),
                            symbolsAndBits[i].first & 15);
  }
  manual.writer.FlushBits();
  auto bytes = BytesOf(manual.stream);
  bytes.resize(bytes.size() + 16, 0);
  return bytes;
}

bool DecodeBytes(const std::vector<std::uint8_t>& bytes, const THuffmanTable& dc,
                 const THuffmanTable& ac) {
  TByteStream stream;
  stream.Assign(bytes);
  TInBitStreamFile reader(stream);
  std::int16_t block[64];
  int predictor = 0;
  return DecodeBlock(reader, dc, ac, predictor, block);
}

TEST(HuffmanDecode, RunsPastTheLastCoefficientFail) {
  const THuffmanTable dc = DcTable();
  const THuffmanTable ac = AcTable();
  const auto dcEncode = EncodeTableOf(dc);
  const auto acEncode = EncodeTableOf(ac);
  // Three ZRLs bring k to 49; a fourth does not fit.
  EXPECT_TRUE(DecodeBytes(
      EncodeSymbols({{0, 0}, {0xF0, 0}, {0xF0, 0}, {0xF0, 0}, {0x00, 0}}, dcEncode, acEncode), dc,
      ac));
  EXPECT_FALSE(DecodeBytes(
      EncodeSymbols({{0, 0}, {0xF0, 0}, {0xF0, 0}, {0xF0, 0}, {0xF0, 0}}, dcEncode, acEncode), dc,
      ac));
  // At k = 49 a run of 14 reaches 63 exactly; a run of 15 passes it.
  EXPECT_TRUE(DecodeBytes(
      EncodeSymbols({{0, 0}, {0xF0, 0}, {0xF0, 0}, {0xF0, 0}, {0xE1, 1}}, dcEncode, acEncode), dc,
      ac));
  EXPECT_FALSE(DecodeBytes(
      EncodeSymbols({{0, 0}, {0xF0, 0}, {0xF0, 0}, {0xF0, 0}, {0xF1, 1}}, dcEncode, acEncode), dc,
      ac));
}

// T.81 defines no AC symbol with a run and no coefficient besides ZRL; decoders, libjpeg
// among them, end the block there, and so must the trim to carry the blocks the picture shows.
TEST(HuffmanDecode, RunWithoutCoefficientEndsTheBlockAsEob) {
  const THuffmanTable dc = DcTable();
  for (const std::size_t length : {2u, 11u}) {  // within the lookahead and past it
    std::vector<int> counts(length, 0);
    counts.back() = 3;
    const THuffmanTable ac = MakeTable(counts, {0x00, 0x10, 0x01});
    // Coefficient 1 at k = 1, then "run 1, size 0"; the padding after it matches no code.
    TByteStream stream;
    stream.Assign(
        EncodeSymbols({{0, 0}, {0x01, 1}, {0x10, 0}}, EncodeTableOf(dc), EncodeTableOf(ac)));
    TInBitStreamFile reader(stream);
    std::int16_t block[64];
    int predictor = 0;
    ASSERT_TRUE(DecodeBlock(reader, dc, ac, predictor, block)) << length;
    EXPECT_EQ(block[1], 1) << length;
    for (int k = 2; k < 64; ++k) EXPECT_EQ(block[k], 0) << length << " " << k;
  }
}

TEST(HuffmanDecode, DcCategorySixteenFails) {
  const THuffmanTable dc = MakeTable({0, 2}, {16, 0});
  const THuffmanTable ac = AcTable();
  TByteStream stream;
  stream.Assign(std::vector<std::uint8_t>(24, 0x00));
  TInBitStreamFile reader(stream);
  std::int16_t block[64];
  int predictor = 0;
  EXPECT_FALSE(DecodeBlock(reader, dc, ac, predictor, block));
}

// Reads MCUs from start both by decoding their blocks and by reading past them, until one fails,
// the data run out or a marker is met: both must agree at every MCU on success, the place after
// it, the predictors and the DC values.
void ExpectSkipAsDecode(const Bytes& bytes, std::size_t start, const TMcuTables& tables) {
  EJpegError markers[2] = {};
  TBitBuffer decoding(bytes.data(), bytes.size(), &markers[0]);
  TBitBuffer skipping(bytes.data(), bytes.size(), &markers[1]);
  decoding.Start(start);
  skipping.Start(start);
  std::array<int, 4> predictors[2] = {};
  const auto outcome = [](const auto& read) {
    try {
      return read() ? 1 : 0;
    } catch (const EStreamError&) {
      return -1;
    }
  };
  int outcomes[2] = {1, 1};
  for (std::size_t n = 0; outcomes[0] == 1; ++n) {
    std::array<std::int16_t, kMaxMcuBlocks> dcs[2] = {};
    outcomes[0] = outcome([&] {
      for (std::size_t j = 0; j < static_cast<std::size_t>(tables.Count); ++j) {
        std::int16_t block[kBlockSize];
        if (!DecodeBlock(decoding, *tables.Dc[j], *tables.Ac[j], predictors[0][tables.Component[j]],
                         block) ||
            decoding.MarkerMet()) {
          return false;
        }
        dcs[0][j] = block[0];
      }
      return true;
    });
    outcomes[1] =
        outcome([&] { return SkipMcu(skipping, tables, predictors[1].data(), dcs[1].data()); });
    ASSERT_EQ(outcomes[0], outcomes[1]) << n;
    ASSERT_TRUE(outcomes[0] < 0 || decoding.Place() == skipping.Place()) << n;
    ASSERT_EQ(predictors[0], predictors[1]) << n;
    ASSERT_EQ(dcs[0], dcs[1]) << n;
  }
}

// Random sparse blocks, encoded in sequence with chained predictors and decoded back; and read
// past in MCUs of three blocks up to a marker after them, as decoding reads them: long codes,
// long magnitudes, runs to the last coefficient and the bits at a marker.
TEST(HuffmanBlocks, SeededRoundTrips) {
  const THuffmanTable dc = DcTable();
  const THuffmanTable ac = AcTable();
  const auto dcEncode = EncodeTableOf(dc);
  const auto acEncode = EncodeTableOf(ac);
  for (unsigned seed = 1; seed <= 10; ++seed) {
    std::mt19937 random(seed);
    std::vector<std::array<std::int16_t, 64>> blocks(200);
    for (auto& block : blocks) {
      block.fill(0);
      block[0] = static_cast<std::int16_t>(static_cast<int>(random() % 2047) - 1023);
      const int density = static_cast<int>(random() % 64);
      for (int k = 1; k < 64; ++k) {
        if (static_cast<int>(random() % 64) < density) {
          const int magnitude = 1 + static_cast<int>(random() % (random() % 4 == 0 ? 1023 : 7));
          block[static_cast<std::size_t>(k)] =
              static_cast<std::int16_t>(random() % 2 ? magnitude : -magnitude);
        }
      }
    }
    TByteStream stream;
    {
      TOutBitStreamFile writer(stream);
      int predictor = 0;
      for (const auto& block : blocks) {
        ASSERT_TRUE(EncodeBlock(writer, dcEncode, acEncode, predictor, block.data()));
      }
      writer.FlushBits();
    }
    TInBitStreamFile reader(stream);
    int predictor = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      std::int16_t decoded[64];
      ASSERT_TRUE(DecodeBlock(reader, dc, ac, predictor, decoded)) << seed << " " << i;
      for (int k = 0; k < 64; ++k) ASSERT_EQ(decoded[k], blocks[i][static_cast<std::size_t>(k)]);
    }
    EXPECT_EQ(reader.Position(), stream.Size());
    Bytes coded = BytesOf(stream);
    coded.insert(coded.end(), {0xFF, 0xD9});
    ExpectSkipAsDecode(coded, 0, {3, {&dc, &dc, &dc}, {&ac, &ac, &ac}, {0, 0, 0}});
  }
}

// Encoders' files, whole and with bits flipped, and random bits read with tables whose short
// codes put many symbols in one lookup: ZRLs past the block's end, runs without a coefficient,
// blocks filled to their last coefficient without EOB.
TEST(HuffmanBlocks, ReadingPastEndsEachBlockWhereDecodingDoes) {
  std::mt19937 random(7);
  using fixtures::Sampling;
  using TCase = std::tuple<Sampling, int, bool>;
  for (const auto& [sampling, quality, optimize] :
       {TCase{Sampling::kGrey, 50, false}, TCase{Sampling::k420, 95, false},
        TCase{Sampling::k444, 100, true}, TCase{Sampling::k420, 75, true}}) {
    fixtures::JpegOptions options;
    options.width = 200;
    options.height = 120;
    options.sampling = sampling;
    options.quality = quality;
    options.optimizeCoding = optimize;
    const Bytes jpeg = fixtures::MakeJpeg(options);
    TByteStream source;
    source.Assign(jpeg);
    TJpegModel model;
    ASSERT_TRUE(ReadJpegModel(source, model));
    const TScan& scan = model.Scans[0];
    const TScanTables tables = ScanTables(model, scan);
    const std::optional<TMcuTables> mcu =
        McuTablesOf(tables.Dc, tables.Ac, ScanLayout(model, scan));
    ASSERT_TRUE(mcu);
    for (int damage = 0; damage <= 20; ++damage) {
      Bytes damaged = jpeg;
      const auto at =
          static_cast<std::size_t>(scan.DataStart + random() % (scan.DataEnd - scan.DataStart));
      if (damage > 0) damaged[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
      ExpectSkipAsDecode(damaged, static_cast<std::size_t>(scan.DataStart), *mcu);
    }
  }
  const THuffmanTable dc = DcTable();
  for (const THuffmanTable& ac : {MakeTable({1, 1, 1, 1, 1}, {0xF0, 0x01, 0x00, 0x11, 0x10}),
                                  MakeTable({1, 1, 1, 1}, {0x01, 0x02, 0x00, 0xF0})}) {
    for (int run = 0; run < 200; ++run) {
      Bytes bytes(256);
      for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
      ExpectSkipAsDecode(bytes, 0, {1, {&dc}, {&ac}, {0}});
    }
  }
}

TEST(HuffmanTable, CountsMustFitSixteenBitCodes) {
  std::uint8_t counts[16] = {3};  // three codes of one bit
  EXPECT_FALSE(IsValidCodeLengthCounts(counts));
  std::uint8_t full[16] = {2};  // "0" and "1": the all-ones code must stay free
  EXPECT_FALSE(IsValidCodeLengthCounts(full));
  std::uint8_t nearlyFull[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_TRUE(IsValidCodeLengthCounts(nearlyFull));
  std::uint8_t many[16] = {};
  many[15] = 255;
  many[14] = 10;  // 265 codes
  EXPECT_FALSE(IsValidCodeLengthCounts(many));
}

}  // namespace
}  // namespace tarvo
