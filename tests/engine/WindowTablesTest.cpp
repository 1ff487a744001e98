// Trims whose window needs Huffman codes the source's tables lack: tables fitted to the window
// replace the source's, the coefficients stay the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "Messages.h"

namespace tarvo::testing {
namespace {

using fixtures::Coefficients;
using fixtures::JpegOptions;
using fixtures::MakeJpeg;
using fixtures::ReadCoefficients;
using fixtures::Sampling;

// The DHT segments of a file's header, whole, in file order.
std::vector<Bytes> DhtSegments(const Bytes& jpeg) {
  std::vector<Bytes> found;
  for (const auto& [marker, bytes] : HeaderSegments(jpeg)) {
    if (marker == 0xFFC4) found.push_back(bytes);
  }
  return found;
}

// The header's markers with every DHT after the first left out.
std::vector<std::uint16_t> MarkersWithOneDht(const Bytes& jpeg) {
  std::vector<std::uint16_t> markers;
  for (const auto& [marker, bytes] : HeaderSegments(jpeg)) {
    if (marker != 0xFFC4 || std::find(markers.begin(), markers.end(), 0xFFC4) == markers.end()) {
      markers.push_back(marker);
    }
  }
  return markers;
}

struct WindowInMcus {
  int firstCol, firstRow, cols, rows;  // cols/rows -1: to the image's edge
};

TTrimRect RectOf(const TJpegTrimming& engine, const WindowInMcus& w) {
  const int mcuWidth = engine.McuWidth();
  const int mcuHeight = engine.McuHeight();
  TTrimRect rect;
  rect.Left = w.firstCol * mcuWidth;
  rect.Top = w.firstRow * mcuHeight;
  rect.Right = w.cols < 0 ? engine.ImageWidth() : rect.Left + w.cols * mcuWidth - 1;
  rect.Bottom = w.rows < 0 ? engine.ImageHeight() : rect.Top + w.rows * mcuHeight - 2;
  return rect;
}

// Every kept block of trimmed equals the source's block at the window's offset.
void ExpectSourceBlocks(const Coefficients& source, const Coefficients& trimmed,
                        const WindowInMcus& w) {
  ASSERT_EQ(trimmed.components.size(), source.components.size());
  for (std::size_t k = 0; k < trimmed.components.size(); ++k) {
    const auto& a = source.components[k];
    const auto& b = trimmed.components[k];
    for (int row = 0; row < b.heightInBlocks; ++row) {
      for (int col = 0; col < b.widthInBlocks; ++col) {
        ASSERT_EQ(0, std::memcmp(b.Block(row, col),
                                 a.Block(row + w.firstRow * a.v, col + w.firstCol * a.h),
                                 64 * sizeof(std::int16_t)))
            << "component " << k << " block " << row << "," << col;
      }
    }
  }
}

TEST(WindowTables, OptimisedSourcesTrimLosslesslyAtEveryWindow) {
  const WindowInMcus windows[] = {
      {5, 4, 4, 3},    // far from the first block, inside the picture
      {7, 6, -1, -1},  // to the right and bottom edges, partial MCUs included
      {9, 2, 1, 1},    // a single MCU
      {0, 0, -1, -1},  // the whole picture
  };
  int replaced = 0;
  int trims = 0;
  for (const Sampling sampling :
       {Sampling::kGrey, Sampling::k420, Sampling::k422, Sampling::k444}) {
    for (const int quality : {30, 75, 97}) {
      for (const unsigned restart : {0u, 2u, 5u}) {
        JpegOptions options;
        options.width = 251;
        options.height = 187;
        options.sampling = sampling;
        options.quality = quality;
        options.restartInterval = restart;
        options.optimizeCoding = true;
        options.seed = static_cast<unsigned>(quality + restart);
        const Bytes source = MakeJpeg(options);
        const Coefficients sourceBlocks = ReadCoefficients(source);
        TJpegTrimming engine;
        MessageLog log;
        log.Attach(engine);
        ASSERT_TRUE(engine.AnalyzeBytes(source));
        for (const WindowInMcus& w : windows) {
          SCOPED_TRACE(::testing::Message()
                       << "sampling " << static_cast<int>(sampling) << " quality " << quality
                       << " restart " << restart << " window " << w.firstCol << "," << w.firstRow);
          const TTrimRect rect = RectOf(engine, w);
          TByteStream output;
          ASSERT_TRUE(engine.Trim(output, rect, false)) << log.Only();
          const Bytes trimmed = BytesOf(output);
          ++trims;
          const Coefficients out = ReadCoefficients(trimmed);
          EXPECT_EQ(out.warnings, 0);
          EXPECT_EQ(out.width, rect.Right - rect.Left);
          EXPECT_EQ(out.height, rect.Bottom - rect.Top);
          ExpectSourceBlocks(sourceBlocks, out, w);
          // The pixels are libjpeg's own crop's, to the last bit.
          const Bytes reference = fixtures::LibjpegCrop(
              source, rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top);
          const fixtures::Pixels pixels = fixtures::Decode(trimmed);
          EXPECT_EQ(pixels.warnings, 0);
          EXPECT_EQ(pixels.samples, fixtures::Decode(reference).samples);

          const std::vector<Bytes> tables = DhtSegments(trimmed);
          if (tables != DhtSegments(source)) {
            ++replaced;
            // One segment where the first one stood, holding the scan's tables.
            EXPECT_EQ(tables.size(), 1u);
            EXPECT_EQ(MarkersWithOneDht(trimmed), MarkersWithOneDht(source));
          }
          if (w.cols < 0 && w.firstCol == 0) {
            EXPECT_EQ(trimmed, source);
          }
        }
      }
    }
  }
  // Starting a window far from the first block needs codes an optimised table lacks often
  // enough that these fixtures show both outcomes.
  EXPECT_GT(replaced, 0);
  EXPECT_LT(replaced, trims);
}

TEST(WindowTables, FittedTablesAreWrittenAgainOnEveryFurtherTrim) {
  JpegOptions options;
  options.width = 251;
  options.height = 187;
  options.quality = 97;
  options.restartInterval = 3;
  options.optimizeCoding = true;
  const Bytes source = MakeJpeg(options);
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  const TTrimRect far = RectOf(engine, {9, 8, 5, 3});
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, far, false));
  const Bytes first = BytesOf(output);
  // A trim with the source's tables in between must not leave fitted tables behind.
  ASSERT_TRUE(engine.Trim(output, {0, 0, 251, 187}, false));
  EXPECT_EQ(BytesOf(output), source);
  ASSERT_TRUE(engine.Trim(output, far, false));
  EXPECT_EQ(BytesOf(output), first);
}

TEST(WindowTables, StandardTablesKeepTheirDhtBytes) {
  for (const Sampling sampling :
       {Sampling::kGrey, Sampling::k420, Sampling::k422, Sampling::k444}) {
    for (const unsigned restart : {0u, 3u}) {
      JpegOptions options;
      options.width = 251;
      options.height = 187;
      options.sampling = sampling;
      options.restartInterval = restart;
      const Bytes source = MakeJpeg(options);
      TJpegTrimming engine;
      ASSERT_TRUE(engine.AnalyzeBytes(source));
      for (const WindowInMcus& w : {WindowInMcus{5, 4, 4, 3}, WindowInMcus{9, 2, 1, 1}}) {
        TByteStream output;
        ASSERT_TRUE(engine.Trim(output, RectOf(engine, w), false));
        EXPECT_EQ(DhtSegments(BytesOf(output)), DhtSegments(source))
            << static_cast<int>(sampling) << " restart " << restart;
      }
    }
  }
}

// A grey picture of two blocks whose DC table codes category 1 only: DC values 1 and 2
// (differences 1, 1). The DC table comes in a DHT before the DQT; a later DHT holds the AC
// table and a DC table 1 that the scan never uses.
Bytes TwoBlocksWithCategoryOneOnly() {
  const Bytes dcOnlyCategoryOne = {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  return Concat({kSoi,
                 Segment(0xFFC4, dcOnlyCategoryOne),
                 Dqt(),
                 Sof0(16, 8, {{1, 0x11}}),
                 Dht({0x10, 0x01}),
                 Sos({{1, 0x00}}),
                 {0x4B},  // block: DC code 0, magnitude bit 1, EOB code 0; twice; padding 11
                 kEoi});
}

// Two-block grey files built by hand, each trimmed whole and then from its second block.
class TwoBlockFile : public ::testing::Test {
 protected:
  // Analyses file and checks that the whole picture comes back byte for byte.
  void Open(const Bytes& file) {
    log.Attach(engine);
    ASSERT_TRUE(engine.AnalyzeBytes(file));
    ASSERT_TRUE(engine.Trim(output, {0, 0, 16, 8}, false)) << log.Only();
    EXPECT_EQ(BytesOf(output), file);
  }

  TJpegTrimming engine;
  MessageLog log;
  TByteStream output;
};

TEST_F(TwoBlockFile, MissingDcCategoryIsCodedWithTablesFittedToTheWindow) {
  ASSERT_NO_FATAL_FAILURE(Open(TwoBlocksWithCategoryOneOnly()));

  // The second block alone is coded against 0: difference 2, category 2.
  ASSERT_TRUE(engine.Trim(output, {8, 0, 16, 8}, false)) << log.Only();
  EXPECT_TRUE(log.messages.empty());
  const Bytes trimmed = BytesOf(output);
  const Bytes fitted = Segment(0xFFC4, {
                                           0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                           2,  // DC 0: category 2, code 0
                                           0x01, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                           0x00,  // DC 1 as the source defines it
                                           0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                           0x00,  // AC 0: EOB only, code 0
                                       });
  const Bytes expected = Concat({kSoi,
                                 fitted,
                                 Dqt(),
                                 Sof0(8, 8, {{1, 0x11}}),
                                 Sos({{1, 0x00}}),
                                 {0x4F},  // 0, magnitude bits 10, EOB 0, padding 1111
                                 kEoi});
  EXPECT_EQ(trimmed, expected);
  const Coefficients out = ReadCoefficients(trimmed);
  EXPECT_EQ(out.warnings, 0);
  EXPECT_EQ(out.components[0].blocks[0], 2);
}

TEST_F(TwoBlockFile, DcDifferenceBeyondFifteenBitsFailsTheTrim) {
  // DC table: category 1 code 00, category 15 code 01; AC table: EOB code 0. The blocks have
  // DC -1 and -32768 (differences -1 and -32767); a window that starts at the second block
  // codes -32768 against 0, which needs 16 magnitude bits.
  const Bytes dc = {0x00, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 15};
  const Bytes file = Concat({kSoi,
                             Dqt(),
                             Sof0(16, 8, {{1, 0x11}}),
                             Segment(0xFFC4, dc),
                             Dht({0x10}),
                             Sos({{1, 0x00}}),
                             // 00 0, 0; 01 and fifteen 0-bits, 0; padding 11
                             {0x04, 0x00, 0x03},
                             kEoi});
  ASSERT_NO_FATAL_FAILURE(Open(file));
  EXPECT_EQ(engine.Trim(output, {8, 0, 16, 8}, false).Error, EJpegError::kUncodableCoefficient);
}

}  // namespace
}  // namespace tarvo::testing
