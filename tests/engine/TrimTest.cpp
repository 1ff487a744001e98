// The lossless trim, checked against libjpeg-turbo reading the output back block for block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
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

// Markers inside the entropy-coded data, up to EOI.
std::vector<std::uint8_t> ScanMarkers(const Bytes& jpeg) {
  std::vector<std::uint8_t> markers;
  for (std::size_t pos = ScanStart(jpeg); pos + 1 < jpeg.size(); ++pos) {
    if (jpeg[pos] != 0xFF || jpeg[pos + 1] == 0x00) continue;
    if (jpeg[pos + 1] == 0xD9) break;
    markers.push_back(jpeg[pos + 1]);
    ++pos;
  }
  return markers;
}

struct Window {
  const char* name;
  // In MCUs of the image; -1 runs to the image's edge. Pixel offsets are added to right/bottom.
  int firstCol, firstRow, cols, rows;
};

struct OracleCase {
  Sampling sampling;
  unsigned restartInterval;
  Window window;
};

std::string OracleName(const ::testing::TestParamInfo<OracleCase>& info) {
  static const char* samplings[] = {"Grey", "S420", "S422", "S444", "S440"};
  return std::string(samplings[static_cast<int>(info.param.sampling)]) + "_Restart" +
         std::to_string(info.param.restartInterval) + "_" + info.param.window.name;
}

void PrintTo(const OracleCase& c, std::ostream* out) {
  *out << c.window.name << " restart " << c.restartInterval;
}

class TrimOracle : public ::testing::TestWithParam<OracleCase> {};

TEST_P(TrimOracle, KeepsEveryBlockOfTheWindow) {
  const OracleCase& c = GetParam();
  JpegOptions options;
  options.width = 203;  // partial MCUs on the right and at the bottom for every sampling
  options.height = 141;
  options.sampling = c.sampling;
  options.restartInterval = c.restartInterval;
  options.quality = 85;
  const Bytes source = MakeJpeg(options);

  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  const int mcuWidth = engine.McuWidth();
  const int mcuHeight = engine.McuHeight();
  TTrimRect rect;
  rect.Left = c.window.firstCol * mcuWidth;
  rect.Top = c.window.firstRow * mcuHeight;
  // A right or bottom edge inside an MCU: the declared size hides the rest of it.
  rect.Right = c.window.cols < 0 ? options.width : rect.Left + c.window.cols * mcuWidth - 3;
  rect.Bottom = c.window.rows < 0 ? options.height : rect.Top + c.window.rows * mcuHeight - 5;

  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, rect, false)) << log.Only();
  EXPECT_TRUE(log.messages.empty());
  EXPECT_EQ(output.Position(), 0);
  const Bytes trimmed = BytesOf(output);

  const Coefficients source_ = ReadCoefficients(source);
  const Coefficients out = ReadCoefficients(trimmed);
  EXPECT_EQ(out.warnings, 0);
  EXPECT_EQ(out.width, rect.Right - rect.Left);
  EXPECT_EQ(out.height, rect.Bottom - rect.Top);
  ASSERT_EQ(out.components.size(), source_.components.size());
  for (std::size_t k = 0; k < out.components.size(); ++k) {
    const auto& a = source_.components[k];
    const auto& b = out.components[k];
    const int rowOffset = c.window.firstRow * a.v;
    const int colOffset = c.window.firstCol * a.h;
    for (int row = 0; row < b.heightInBlocks; ++row) {
      for (int col = 0; col < b.widthInBlocks; ++col) {
        ASSERT_EQ(0, std::memcmp(b.Block(row, col), a.Block(row + rowOffset, col + colOffset),
                                 64 * sizeof(std::int16_t)))
            << "component " << k << " block " << row << "," << col;
      }
    }
  }

  // libjpeg's own crop of the same rectangle holds the same coefficients.
  const Coefficients reference = ReadCoefficients(fixtures::LibjpegCrop(
      source, rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top));
  for (std::size_t k = 0; k < out.components.size(); ++k) {
    EXPECT_EQ(out.components[k].blocks, reference.components[k].blocks) << "component " << k;
  }

  // A second trim works from the stored coefficients and writes the same file.
  ASSERT_TRUE(engine.Trim(output, rect, false));
  EXPECT_EQ(BytesOf(output), trimmed);

  // The whole image gives the source back byte for byte: same tables, same conventions.
  ASSERT_TRUE(engine.Trim(output, {0, 0, options.width, options.height}, false));
  EXPECT_EQ(BytesOf(output), source);
}

const Window kWindows[] = {
    {"Origin", 0, 0, 2, 2},
    {"Middle", 3, 2, 4, 3},
    {"RightBottomEdges", 5, 3, -1, -1},
    {"WholeImage", 0, 0, -1, -1},
};

std::vector<OracleCase> OracleCases() {
  std::vector<OracleCase> cases;
  for (const Sampling sampling :
       {Sampling::kGrey, Sampling::k420, Sampling::k422, Sampling::k444}) {
    // 3 does not divide the window rows; 1 writes a marker after nearly every MCU, so the
    // numbers wrap from RST7 to RST0.
    for (const unsigned restart : {0u, 1u, 3u}) {
      for (const Window& window : kWindows) cases.push_back({sampling, restart, window});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Windows, TrimOracle, ::testing::ValuesIn(OracleCases()), OracleName);

// Trims a 64x48 4:2:0 file (4 x 3 MCUs) with the given restart interval.
Bytes TrimFixture(unsigned restartInterval, const TTrimRect& rect, int width = 64,
                  int height = 48) {
  JpegOptions options;
  options.width = width;
  options.height = height;
  options.restartInterval = restartInterval;
  TJpegTrimming engine;
  EXPECT_TRUE(engine.AnalyzeBytes(MakeJpeg(options)));
  TByteStream output;
  EXPECT_TRUE(engine.Trim(output, rect, false));
  return BytesOf(output);
}

TEST(Trim, RestartMarkersAreNumberedAnewAndNotWrittenAfterTheLastMcu) {
  // Interval 4: a 3 x 3 window gets RST0 after MCU 4 and RST1 after MCU 8.
  EXPECT_EQ(ScanMarkers(TrimFixture(4, {0, 0, 48, 48})), (std::vector<std::uint8_t>{0xD0, 0xD1}));
  // A 4 x 2 window: RST0 after MCU 4, nothing after MCU 8.
  EXPECT_EQ(ScanMarkers(TrimFixture(4, {0, 16, 64, 48})), (std::vector<std::uint8_t>{0xD0}));
  // Interval 1 over 11 MCUs: RST0..RST7, then RST0 and RST1 again.
  EXPECT_EQ(
      ScanMarkers(TrimFixture(1, {0, 0, 176, 16}, 176, 16)),
      (std::vector<std::uint8_t>{0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD0, 0xD1}));
}

TEST(Trim, SnapToMcuGridMovesOnlyLeftAndTopDown) {
  struct TCase {
    TTrimRect in;
    TTrimRect out;
  };
  const TCase cases[] = {
      {{17, 9, 30, 21}, {16, 8, 30, 21}},    // both off the grid; the far edges stay
      {{16, 8, 33, 25}, {16, 8, 33, 25}},    // on the grid already
      {{-5, -3, 10, 10}, {-5, -3, 10, 10}},  // left for the trim to refuse
  };
  for (const TCase& c : cases) {
    const TTrimRect r = SnapToMcuGrid(c.in, 16, 8);
    EXPECT_EQ(std::tie(r.Left, r.Top, r.Right, r.Bottom),
              std::tie(c.out.Left, c.out.Top, c.out.Right, c.out.Bottom));
  }
}

// The engine says which source pixels it cut, so that no caller works the grid out again; the
// rectangle it reports, trimmed again, gives the same file.
TEST(Trim, ReportsTheRectangleItCut) {
  struct TCase {
    Sampling sampling;
    TTrimRect asked;
    TTrimRect cut;
  };
  const TCase cases[] = {
      {Sampling::k420, {10, 3, 40, 30}, {0, 0, 40, 30}},  // both off the grid: the far edges stay
      {Sampling::k420, {16, 8, 64, 48}, {16, 0, 64, 48}},
      {Sampling::k422, {17, 9, 33, 25}, {16, 8, 33, 25}},
      {Sampling::kGrey, {8, 8, 64, 48}, {8, 8, 64, 48}},  // on the grid already
  };
  for (const TCase& c : cases) {
    JpegOptions options;
    options.sampling = c.sampling;
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(MakeJpeg(options)));
    TByteStream asked, again;
    TTrimRect cut{-1, -1, -1, -1};
    ASSERT_TRUE(engine.Trim(asked, c.asked, false, &cut));
    EXPECT_EQ(std::tie(cut.Left, cut.Top, cut.Right, cut.Bottom),
              std::tie(c.cut.Left, c.cut.Top, c.cut.Right, c.cut.Bottom));
    ASSERT_TRUE(engine.Trim(again, cut, false));
    EXPECT_TRUE(std::ranges::equal(asked.Bytes(), again.Bytes()));
  }
}

// Decoding only what the planned cuts need gives the bytes of the whole decoding, with restart
// intervals of odd lengths, scans of one component and MCUs of one block; a trim outside the
// plan decodes the rest.
TEST(Trim, DecodingStoppedBelowTheRectanglesGivesTheSameBytes) {
  struct TCase {
    Sampling sampling;
    unsigned restartInterval;
    std::vector<JpegOptions::Scan> scans;
  };
  const TCase cases[] = {
      {Sampling::k420, 3, {}},
      {Sampling::k422, 5, {}},
      {Sampling::kGrey, 7, {}},
      {Sampling::k420, 0, {{{0}}, {{1}}, {{2}}}},
  };
  for (const TCase& c : cases) {
    JpegOptions options;
    options.width = 100;
    options.height = 90;
    options.sampling = c.sampling;
    options.restartInterval = c.restartInterval;
    options.scans = c.scans;
    const Bytes source = MakeJpeg(options);
    TJpegTrimming whole, stopped;
    ASSERT_TRUE(whole.AnalyzeBytes(source));
    ASSERT_TRUE(stopped.AnalyzeBytes(source));
    const TOrientedTrim planned[] = {{{16, 0, 60, 35}, kAsStored, kAsStored},
                                     {{0, 16, 100, 33}, kAsStored, kAsStored}};
    stopped.DecodeOnlyFor(planned);
    for (const TTrimRect rect :
         {TTrimRect{16, 0, 60, 35}, TTrimRect{0, 16, 100, 33}, TTrimRect{32, 32, 100, 90}}) {
      TByteStream expected, output;
      ASSERT_TRUE(whole.Trim(expected, rect, false));
      ASSERT_TRUE(stopped.Trim(output, rect, false));
      EXPECT_TRUE(std::ranges::equal(expected.Bytes(), output.Bytes())) << rect.Top;
      EXPECT_EQ(stopped.DecodedValid(), rect.Bottom == 90) << rect.Top;
    }
  }
}

TEST(Trim, LeftOffTheGridStartsAtTheMcuBelow) {
  JpegOptions options;
  options.width = 64;
  options.height = 48;
  const Bytes source = MakeJpeg(options);
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {10, 0, 40, 16}, false));
  const Coefficients out = ReadCoefficients(BytesOf(output));
  const Coefficients in = ReadCoefficients(source);
  // The right edge stays where it was asked for.
  EXPECT_EQ(out.width, 40);
  // Three MCUs per row, as the declared width says: a fourth would shift every row after the
  // first.
  EXPECT_EQ(out.warnings, 0);
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 6; ++col) {
      EXPECT_EQ(
          0, std::memcmp(out.components[0].Block(row, col), in.components[0].Block(row, col), 128))
          << row << " " << col;
    }
  }
}

TEST(Trim, ProgressDecodesOnceThenOnlyEncodes) {
  JpegOptions options;
  options.width = 64;  // 4 x 3 MCUs
  options.height = 48;
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(MakeJpeg(options)));
  std::vector<int> starts, positions;
  engine.OnProgressStart = [&](int total) { starts.push_back(total); };
  engine.OnProgress = [&](int position) { positions.push_back(position); };
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {16, 16, 48, 40}, false));
  EXPECT_EQ(starts, (std::vector<int>{7}));
  EXPECT_EQ(positions, (std::vector<int>{0, 0, 1, 2, 4, 5}));
  starts.clear();
  positions.clear();
  ASSERT_TRUE(engine.Trim(output, {0, 32, 16, 48}, false));
  EXPECT_EQ(starts, (std::vector<int>{7}));
  EXPECT_EQ(positions, (std::vector<int>{0, 5}));
}

struct ExifCase {
  bool little;
  std::uint16_t type;
};

TEST(Trim, ExifPixelSizeFollowsTheTrimInBothByteOrders) {
  // SHORT, LONG, and the signed SSHORT and SLONG that some programs write.
  std::vector<ExifCase> cases;
  for (const bool little : {true, false}) {
    for (const std::uint16_t type : {3, 4, 8, 9}) cases.push_back({little, type});
  }
  for (const ExifCase c : cases) {
    JpegOptions options;
    options.width = 64;
    options.height = 48;
    options.extraSegments.push_back(fixtures::MakeExifSegment(c.little, 64, 48, c.type));
    const Bytes source = MakeJpeg(options);
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(source));
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, false));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(fixtures::ReadExifPixelSize(BytesOf(output), width, height));
    EXPECT_EQ(width, 29u);
    EXPECT_EQ(height, 23u);
    // Nothing else moves: same segment length, same bytes but the two values.
    const auto before = HeaderSegments(source);
    const auto after = HeaderSegments(BytesOf(output));
    const auto app1 = [](const auto& segments) {
      return std::find_if(segments.begin(), segments.end(),
                          [](const auto& s) { return s.first == 0xFFE1; })
          ->second;
    };
    const Bytes a = app1(before), b = app1(after);
    ASSERT_EQ(a.size(), b.size());
    int differing = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
    EXPECT_LE(differing, 4);
  }
}

// The APP1 segments of the output, whole.
std::vector<Bytes> App1Segments(const Bytes& jpeg) {
  std::vector<Bytes> found;
  for (const auto& [marker, bytes] : HeaderSegments(jpeg)) {
    if (marker == 0xFFE1) found.push_back(bytes);
  }
  return found;
}

TEST(Trim, UnusableExifSegmentsAreCopiedUnchanged) {
  Bytes noPointer = fixtures::MakeExifSegment(true, 64, 48, 4, false);
  Bytes badIfd0 = fixtures::MakeExifSegment(false, 64, 48, 4);
  badIfd0[14] = 0xF0;  // IFD0 offset far outside the segment
  Bytes badExifIfd = fixtures::MakeExifSegment(true, 64, 48, 3);
  // Entry count of the Exif IFD raised past the end of the segment.
  badExifIfd[10 + 8 + 2 + 2 * 12 + 4] = 0x40;
  // The Exif IFD pointer (value of IFD0's second entry) leads back to IFD0 itself.
  Bytes loop = fixtures::MakeExifSegment(true, 64, 48, 3);
  loop[10 + 8 + 2 + 12 + 8] = 8;
  const Bytes shortExif = Segment(0xFFE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42});
  const Bytes tiny = Segment(0xFFE1, {'E', 'x'});
  for (const Bytes& segment : {noPointer, badIfd0, badExifIfd, loop, shortExif, tiny}) {
    JpegOptions options;
    options.width = 64;
    options.height = 48;
    options.extraSegments.push_back(segment);
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(MakeJpeg(options)));
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, {0, 0, 32, 32}, false));
    EXPECT_EQ(App1Segments(BytesOf(output)), std::vector<Bytes>{segment});
  }
}

TEST(Trim, DropExifDropsEveryApp1AndKeepsTheRest) {
  JpegOptions options;
  options.width = 64;
  options.height = 48;
  const Bytes xmp = Segment(0xFFE1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0});
  const Bytes icc = Segment(0xFFE2, {'I', 'C', 'C', 0});
  const Bytes iptc = Segment(0xFFED, {'P', 'h', 'o', 't', 'o'});
  const Bytes comment = Segment(0xFFFE, {'c', 'o', 'm'});
  options.extraSegments = {fixtures::MakeExifSegment(true, 64, 48), xmp, icc, iptc, comment};
  const Bytes source = MakeJpeg(options);
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {0, 0, 64, 48}, true));
  const Bytes trimmed = BytesOf(output);
  EXPECT_TRUE(App1Segments(trimmed).empty());
  std::vector<std::uint16_t> markers;
  for (const auto& [marker, bytes] : HeaderSegments(trimmed)) markers.push_back(marker);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xFFE0), 1);
  for (const Bytes& kept : {icc, iptc, comment}) {
    EXPECT_NE(std::search(trimmed.begin(), trimmed.end(), kept.begin(), kept.end()), trimmed.end());
  }
  // Without DropExif both APP1 segments are there.
  ASSERT_TRUE(engine.Trim(output, {0, 0, 64, 48}, false));
  EXPECT_EQ(BytesOf(output), source);
}

// A second Exif segment between the coded data and EOI, as some phones write: dropped with
// DropExif, else rewritten like the one in the header.
TEST(Trim, App1AfterTheScanIsDroppedOrRewritten) {
  JpegOptions options;
  options.width = 64;
  options.height = 48;
  Bytes source = MakeJpeg(options);
  const Bytes exif = fixtures::MakeExifSegment(false, 64, 48, 3);
  const Bytes comment = Segment(0xFFFE, {'c', 'o', 'm'});
  source.insert(source.end() - 2, exif.begin(), exif.end());
  source.insert(source.end() - 2, comment.begin(), comment.end());
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  TByteStream output;
  const auto find = [](const Bytes& in, const Bytes& what) {
    return std::search(in.begin(), in.end(), what.begin(), what.end());
  };
  for (const bool dropExif : {true, false}) {
    ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, dropExif));
    const Bytes trimmed = BytesOf(output);
    EXPECT_EQ(ReadCoefficients(trimmed).warnings, 0);
    EXPECT_EQ(Bytes(trimmed.end() - static_cast<std::ptrdiff_t>(comment.size()) - 2, trimmed.end()),
              Concat({comment, kEoi}));
    const Bytes tag = {'E', 'x', 'i', 'f', 0, 0};
    const auto at = find(trimmed, tag);
    ASSERT_EQ(at == trimmed.end(), dropExif);
    if (dropExif) continue;
    // The segment read as if it stood right after SOI.
    const Bytes moved =
        Concat({kSoi, Bytes(at - 4, at - 4 + static_cast<std::ptrdiff_t>(exif.size()))});
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(fixtures::ReadExifPixelSize(moved, width, height));
    EXPECT_EQ(width, 29u);
    EXPECT_EQ(height, 23u);
  }
}

TEST(Trim, BytesAfterEoiAreKept) {
  JpegOptions options;
  Bytes source = MakeJpeg(options);
  const Bytes trailer = {'T', 'R', 'A', 'I', 'L', 0xFF, 0xD9, 0x00};
  source.insert(source.end(), trailer.begin(), trailer.end());
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {16, 16, 48, 40}, false));
  const Bytes trimmed = BytesOf(output);
  ASSERT_GE(trimmed.size(), trailer.size() + 2);
  EXPECT_TRUE(std::equal(trailer.begin(), trailer.end(), trimmed.end() - 8));
  EXPECT_EQ(trimmed[trimmed.size() - 10], 0xFF);
  EXPECT_EQ(trimmed[trimmed.size() - 9], 0xD9);
}

TEST(Trim, UnusedCodedBytesBeforeEoiAreNotCarriedOver) {
  JpegOptions options;
  options.width = 64;
  options.height = 48;
  Bytes source = MakeJpeg(options);
  // Padding after the last block, with a stuffed 0xFF and a fill byte, before EOI: the blocks
  // ended before the data, so the last MCU row may be damaged, and only the rows above it cut.
  const Bytes padding = {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xFF};
  source.insert(source.end() - 2, padding.begin(), padding.end());
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  TByteStream output;
  EXPECT_EQ(engine.Trim(output, {0, 0, 64, 48}, false).Error, EJpegError::kBeyondDamage);
  for (const TTrimRect rect : {TTrimRect{16, 16, 40, 32}, TTrimRect{0, 0, 64, 32}}) {
    ASSERT_TRUE(engine.Trim(output, rect, false));
    const Bytes trimmed = BytesOf(output);
    EXPECT_EQ(ReadCoefficients(trimmed).warnings, 0);
    EXPECT_EQ(std::search(trimmed.begin(), trimmed.end(), padding.begin(), padding.end()),
              trimmed.end());
    EXPECT_EQ(trimmed[trimmed.size() - 2], 0xFF);
    EXPECT_EQ(trimmed[trimmed.size() - 1], 0xD9);
  }
}

TEST(Trim, DhtWithFourTablesInOneSegment) {
  // libjpeg writes one table per segment; merge them as some encoders do.
  JpegOptions options;
  options.width = 48;
  options.height = 32;
  const Bytes source = MakeJpeg(options);
  Bytes merged = {0xFF, 0xD8};
  Bytes tables;
  for (const auto& [marker, bytes] : HeaderSegments(source)) {
    if (marker == 0xFFC4) {
      tables.insert(tables.end(), bytes.begin() + 4, bytes.end());
    } else if (marker == 0xFFDA) {
      const Bytes dht = Segment(0xFFC4, tables);
      merged.insert(merged.end(), dht.begin(), dht.end());
      merged.insert(merged.end(), bytes.begin(), bytes.end());
    } else {
      merged.insert(merged.end(), bytes.begin(), bytes.end());
    }
  }
  merged.insert(merged.end(), source.begin() + static_cast<std::ptrdiff_t>(ScanStart(source)),
                source.end());
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(merged));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {16, 0, 48, 32}, false));
  const Coefficients out = ReadCoefficients(BytesOf(output));
  const Coefficients in = ReadCoefficients(source);
  EXPECT_EQ(out.warnings, 0);
  EXPECT_EQ(0, std::memcmp(out.components[0].Block(1, 1), in.components[0].Block(1, 3), 128));
}

// Every table of the DHT segments before the scan, by its class/destination byte.
std::map<std::uint8_t, Bytes> DhtTables(const Bytes& jpeg) {
  std::map<std::uint8_t, Bytes> tables;
  for (const auto& [marker, bytes] : HeaderSegments(jpeg)) {
    for (std::size_t at = 4; marker == 0xFFC4 && at + 17 <= bytes.size();) {
      std::size_t end = at + 17;
      for (std::size_t k = at + 1; k < at + 17; ++k) end += bytes[k];
      tables[bytes[at]] = Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                bytes.begin() + static_cast<std::ptrdiff_t>(end));
      at = end;
    }
  }
  return tables;
}

TEST(Trim, MotionJpegFrameTakesTheStandardTables) {
  JpegOptions options;
  options.width = 64;
  options.height = 48;
  options.sampling = Sampling::k422;
  const Bytes frame = fixtures::MakeMotionJpegFrame(options);
  ASSERT_TRUE(DhtTables(frame).empty());
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(frame));
  TByteStream output;
  // The whole frame shows what libjpeg, which takes the standard tables as well, shows.
  ASSERT_TRUE(engine.Trim(output, {0, 0, 64, 48}, false)) << log.Only();
  const fixtures::Pixels shown = fixtures::Decode(BytesOf(output));
  EXPECT_EQ(shown.warnings, 0);
  EXPECT_EQ(shown.samples, fixtures::Decode(frame).samples);
  // It carries the tables, which are those libjpeg codes with by default.
  EXPECT_EQ(DhtTables(BytesOf(output)), DhtTables(MakeJpeg(options)));
}

TEST(Trim, RectanglesOutsideTheImageAreRefused) {
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(TinyGreyJpeg(16, 8)));
  TByteStream output;
  for (const TTrimRect rect :
       {TTrimRect{0, 0, 17, 8}, TTrimRect{0, 0, 16, 9}, TTrimRect{-8, 0, 8, 8},
        TTrimRect{0, -8, 8, 8}, TTrimRect{8, 0, 8, 8}, TTrimRect{8, 0, 0, 8},
        TTrimRect{INT32_MIN, 0, INT32_MAX, 8}}) {
    EXPECT_EQ(engine.Trim(output, rect, false).Error, EJpegError::kRectOutside);
  }
  EXPECT_TRUE(engine.Trim(output, {8, 0, 16, 8}, false));
}

TEST(Trim, UndecodableScanFailsAndDecodesAgainNextTime) {
  Bytes file = TinyGreyJpeg(16, 8);
  file[file.size() - 3] = 0x80;  // DC code "1" is not in the table
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(file));
  TByteStream output;
  EXPECT_EQ(engine.Trim(output, {0, 0, 16, 8}, false).Error, EJpegError::kHuffmanBlock);
  EXPECT_EQ(log.messages.size(), 1u);
  EXPECT_FALSE(engine.DecodedValid());
  EXPECT_EQ(engine.Trim(output, {0, 0, 16, 8}, false).Error, EJpegError::kHuffmanBlock);
}

TEST(Trim, MarkerInsideTheScanIsReported) {
  JpegOptions options;
  options.width = 64;
  options.height = 48;
  Bytes source = MakeJpeg(options);
  const std::size_t scan = ScanStart(source);
  source[scan + 20] = 0xFF;
  source[scan + 21] = 0xD3;
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  TByteStream output;
  EXPECT_EQ(engine.Trim(output, {0, 0, 64, 48}, false).Error, EJpegError::kBitStream);
  EXPECT_EQ(log.messages.size(), 1u);
}

}  // namespace
}  // namespace tarvo::testing
