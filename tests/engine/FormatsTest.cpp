// Trims of progressive, several-scan, RGB, CMYK/YCCK and 16-bit-table files, checked against
// libjpeg-turbo: its reading of the source block for block, and its own crop pixel for pixel.
#include <gtest/gtest.h>

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
using Scan = JpegOptions::Scan;

struct FormatCase {
  const char* name;
  JpegOptions options;
  std::uint16_t outputFrame;  // the output's SOF marker
  // Rewrites the file libjpeg made, for structures its writer never makes.
  Bytes (*rewrite)(Bytes) = nullptr;
};

// Where the marker of the scan with the given index starts: markers cannot occur in coded data.
std::size_t ScanMarker(const Bytes& jpeg, int index) {
  for (std::size_t at = 2; at + 1 < jpeg.size(); ++at) {
    if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA && index-- == 0) return at;
  }
  return jpeg.size();
}

// Moves the DQT segment of table 1 from the header to just before the second scan, as encoders
// do that define a table with the first scan that needs it.
Bytes ChromaTableBeforeSecondScan(Bytes jpeg) {
  for (std::size_t at = 2; at + 4 < jpeg.size();) {
    const std::size_t size = 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    if (jpeg[at + 1] == 0xDB && (jpeg[at + 4] & 15) == 1) {
      const Bytes segment(jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                          jpeg.begin() + static_cast<std::ptrdiff_t>(at + size));
      jpeg.erase(jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                 jpeg.begin() + static_cast<std::ptrdiff_t>(at + size));
      jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(ScanMarker(jpeg, 1)), segment.begin(),
                  segment.end());
      return jpeg;
    }
    at += size;
  }
  return jpeg;
}

// Puts a fill byte before every restart marker, as encoders may (ITU-T T.81 B.1.1.2): it must not
// end the coded data of a scan, nor hide the scans after it.
Bytes FillBytesBeforeRestartMarkers(Bytes jpeg) {
  for (std::size_t at = ScanMarker(jpeg, 0); at + 1 < jpeg.size(); ++at) {
    if (jpeg[at] == 0xFF && (jpeg[at + 1] & 0xF8) == 0xD0) {
      jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), 0xFF);
      at += 2;
    }
  }
  return jpeg;
}

std::string FormatName(const ::testing::TestParamInfo<FormatCase>& info) { return info.param.name; }

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }

JpegOptions Options(Sampling sampling, unsigned restartInterval = 0) {
  JpegOptions options;
  options.width = 203;  // partial MCUs on the right and at the bottom for every sampling
  options.height = 141;
  options.sampling = sampling;
  options.restartInterval = restartInterval;
  options.quality = 85;
  return options;
}

template <typename Change>
JpegOptions With(JpegOptions options, Change&& change) {
  change(options);
  return options;
}

std::vector<FormatCase> FormatCases() {
  // Successive approximation in every kind of scan, bands split, components in a mixed order.
  const std::vector<Scan> approximation = {
      {{0, 1, 2}, 0, 0, 0, 1}, {{0}, 1, 8, 0, 2},  {{2}, 1, 63, 0, 1},      {{1}, 1, 63, 0, 1},
      {{0}, 9, 63, 0, 2},      {{0}, 1, 63, 2, 1}, {{0, 1, 2}, 0, 0, 1, 0}, {{1}, 1, 63, 1, 0},
      {{2}, 1, 63, 1, 0},      {{0}, 1, 63, 1, 0}};
  const std::vector<Scan> greyApproximation = {{{0}, 0, 0, 0, 2},  {{0}, 1, 5, 0, 1},
                                               {{0}, 6, 63, 0, 1}, {{0}, 0, 0, 2, 1},
                                               {{0}, 1, 63, 1, 0}, {{0}, 0, 0, 1, 0}};
  const auto progressive = [](JpegOptions& o) { o.progressive = true; };
  const auto arithmetic = [](JpegOptions& o) { o.arithmetic = true; };
  const auto arithmeticProgressive = [](JpegOptions& o) { o.arithmetic = o.progressive = true; };
  return {
      {"Arithmetic420", With(Options(Sampling::k420), arithmetic), 0xFFC0},
      {"Arithmetic444Restart", With(Options(Sampling::k444, 3), arithmetic), 0xFFC0},
      {"ArithmeticGreyRestart", With(Options(Sampling::kGrey, 1), arithmetic), 0xFFC0},
      {"ArithmeticProgressive420Restart", With(Options(Sampling::k420, 2), arithmeticProgressive),
       0xFFC0},
      {"ArithmeticProgressive444", With(Options(Sampling::k444), arithmeticProgressive), 0xFFC0},
      {"ArithmeticProgressiveScript420",
       With(Options(Sampling::k420, 5),
            [&](JpegOptions& o) {
              o.arithmetic = true;
              o.scans = approximation;
            }),
       0xFFC0},
      {"ArithmeticConditioned422",
       With(Options(Sampling::k422),
            [](JpegOptions& o) {
              o.arithmetic = true;
              o.arithmeticDcLower = 2;
              o.arithmeticDcUpper = 5;
              o.arithmeticAcThreshold = 20;
            }),
       0xFFC0},
      {"ArithmeticSixteenBitTables",
       With(Options(Sampling::k420),
            [](JpegOptions& o) {
              o.arithmetic = true;
              o.forceBaseline = false;
              o.quality = 3;
            }),
       0xFFC1},
      {"ProgressiveDefault420", With(Options(Sampling::k420), progressive), 0xFFC0},
      {"ProgressiveDefault444Restart", With(Options(Sampling::k444, 2), progressive), 0xFFC0},
      {"ProgressiveDefaultGrey", With(Options(Sampling::kGrey), progressive), 0xFFC0},
      {"ProgressiveDefaultGreyRestart", With(Options(Sampling::kGrey, 7), progressive), 0xFFC0},
      {"ProgressiveScript420Restart",
       With(Options(Sampling::k420, 3), [&](JpegOptions& o) { o.scans = approximation; }), 0xFFC0},
      {"ProgressiveScriptGrey",
       With(Options(Sampling::kGrey), [&](JpegOptions& o) { o.scans = greyApproximation; }),
       0xFFC0},
      {"ProgressiveZeroBasedIds",
       With(Options(Sampling::k422), [](JpegOptions& o) { o.progressive = o.zeroBasedIds = true; }),
       0xFFC0},
      {"LumaThenChroma422",
       With(Options(Sampling::k422),
            [](JpegOptions& o) {
              o.scans = {{{0}}, {{1, 2}}};
            }),
       0xFFC0},
      {"OneScanPerComponent420Restart",
       With(Options(Sampling::k420, 2),
            [](JpegOptions& o) {
              o.scans = {{{0}}, {{1}}, {{2}}};
            }),
       0xFFC0},
      {"ChromaTableDefinedBetweenScans",
       With(Options(Sampling::k420),
            [](JpegOptions& o) {
              o.scans = {{{0}}, {{1}}, {{2}}};
            }),
       0xFFC0, ChromaTableBeforeSecondScan},
      {"ProgressiveChromaTableDefinedBetweenScans",
       With(Options(Sampling::k422),
            [](JpegOptions& o) {
              o.scans = {{{0}, 0, 0}, {{0}, 1, 63}, {{1, 2}, 0, 0}, {{1}, 1, 63}, {{2}, 1, 63}};
            }),
       0xFFC0, ChromaTableBeforeSecondScan},
      {"ProgressiveFillBytesBeforeRestartMarkers", With(Options(Sampling::k420, 3), progressive),
       0xFFC0, FillBytesBeforeRestartMarkers},
      {"FillBytesBeforeRestartMarkers", Options(Sampling::k422, 2), 0xFFC0,
       FillBytesBeforeRestartMarkers},
      {"Rgb", With(Options(Sampling::k444), [](JpegOptions& o) { o.rgb = true; }), 0xFFC0},
      {"CmykAdobe",
       With(Options(Sampling::k444), [](JpegOptions& o) { o.cmyk = o.writeAdobe = true; }), 0xFFC0},
      {"YcckAdobe",
       With(Options(Sampling::k444), [](JpegOptions& o) { o.cmyk = o.ycck = o.writeAdobe = true; }),
       0xFFC0},
      {"SixteenBitTablesSof1",
       With(Options(Sampling::k420),
            [](JpegOptions& o) {
              o.forceBaseline = false;
              o.quality = 3;
            }),
       0xFFC1},
      {"SixteenBitTablesProgressive",
       With(Options(Sampling::k420),
            [](JpegOptions& o) {
              o.forceBaseline = false;
              o.quality = 3;
              o.progressive = true;
            }),
       0xFFC1},
  };
}

// The SOF marker of a file.
std::uint16_t FrameMarker(const Bytes& jpeg) {
  for (const auto& [marker, segment] : HeaderSegments(jpeg)) {
    if (marker >= 0xFFC0 && marker <= 0xFFC2) return marker;
  }
  return 0;
}

class FormatOracle : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatOracle, KeepsEveryBlockAndPixelOfTheWindow) {
  const FormatCase& c = GetParam();
  const Bytes made = MakeJpeg(c.options);
  const Bytes source = c.rewrite != nullptr ? c.rewrite(made) : made;
  const Coefficients in = ReadCoefficients(source);
  ASSERT_EQ(in.warnings, 0);
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(source)) << log.Only();
  const int mcuWidth = engine.McuWidth();
  const int mcuHeight = engine.McuHeight();
  // In MCUs: origin, middle, and up to the right and bottom edges; right and bottom inside an
  // MCU, so the declared size hides the rest of it.
  const struct { int col, row; } starts[] = {{0, 0}, {2, 1}, {3, 2}};
  for (const auto& start : starts) {
    const TTrimRect rect{
        start.col * mcuWidth, start.row * mcuHeight,
        start.col == 3 ? c.options.width : start.col * mcuWidth + 2 * mcuWidth - 3,
        start.col == 3 ? c.options.height : start.row * mcuHeight + 2 * mcuHeight - 5};
    const std::string where = std::to_string(rect.Left) + "," + std::to_string(rect.Top);
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, rect, false)) << where << ": " << log.Only();
    const Bytes trimmed = BytesOf(output);
    EXPECT_EQ(FrameMarker(trimmed), c.outputFrame) << where;

    const Coefficients out = ReadCoefficients(trimmed);
    EXPECT_EQ(out.warnings, 0) << where;
    ASSERT_EQ(out.components.size(), in.components.size());
    for (std::size_t k = 0; k < out.components.size(); ++k) {
      const auto& a = in.components[k];
      const auto& b = out.components[k];
      EXPECT_EQ(b.id, a.id);
      for (int row = 0; row < b.heightInBlocks; ++row) {
        for (int col = 0; col < b.widthInBlocks; ++col) {
          ASSERT_EQ(0, std::memcmp(b.Block(row, col),
                                   a.Block(row + start.row * a.v, col + start.col * a.h), 128))
              << where << " component " << k << " block " << row << "," << col;
        }
      }
    }
    const Bytes reference = fixtures::LibjpegCrop(source, rect.Left, rect.Top,
                                                  rect.Right - rect.Left, rect.Bottom - rect.Top);
    const fixtures::Pixels pixels = fixtures::Decode(trimmed);
    EXPECT_EQ(pixels.warnings, 0) << where;
    EXPECT_EQ(pixels.samples, fixtures::Decode(reference).samples) << where;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatOracle, ::testing::ValuesIn(FormatCases()), FormatName);

// A table redefined after a scan has used it would apply to some components and not to others,
// which one frame header cannot say.
TEST(QuantTables, RedefinedAfterAScanUsedThemAreRefused) {
  const Bytes source = MakeJpeg(With(Options(Sampling::k420), [](JpegOptions& o) {
    o.scans = {{{0}}, {{1}}, {{2}}};
  }));
  Bytes redefined = source;
  Bytes table = {0x00};
  table.resize(65, 2);
  const Bytes dqt = Segment(0xFFDB, table);
  redefined.insert(redefined.begin() + static_cast<std::ptrdiff_t>(ScanMarker(source, 1)),
                   dqt.begin(), dqt.end());
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  EXPECT_EQ(engine.AnalyzeBytes(redefined).Error, EJpegError::kQuantRedefined);
}

// A restart marker out of turn means lost intervals. (An arithmetic decoder reads zeros past
// the data, so running into the end of the file, not into a marker, is what tells a cut-off
// file: the cut-off files' tests have one.)
TEST(ArithmeticCoding, LostIntervalsAreRefused) {
  const Bytes whole =
      MakeJpeg(With(Options(Sampling::k420, 4), [](JpegOptions& o) { o.arithmetic = true; }));
  Bytes reordered = whole;
  for (std::size_t at = ScanMarker(whole, 0); at + 1 < reordered.size(); ++at) {
    if (reordered[at] == 0xFF && reordered[at + 1] == 0xD1) {
      reordered[at + 1] = 0xD2;
      break;
    }
  }
  const struct {
    const Bytes& file;
    std::string_view message;
  } cases[] = {{reordered, kMsgBitStream}};
  for (const auto& c : cases) {
    TJpegTrimming engine;
    MessageLog log;
    log.Attach(engine);
    TByteStream output;
    EXPECT_FALSE(engine.AnalyzeBytes(c.file) && engine.Trim(output, {0, 0, 16, 16}, false));
    EXPECT_EQ(log.Only(), c.message);
  }
}

}  // namespace
}  // namespace tarvo::testing
