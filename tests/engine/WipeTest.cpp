// Wipes: grey checked against jpegtran -wipe, alone, before a crop and before each turn; flat
// and mosaic checked block by block against what they promise; everything outside the grown
// region kept bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "JpegtranOracle.h"
#include "LibjpegPictureMaker.h"
#include "OrientedTrim.h"
#include "Wipe.h"

namespace tarvo::testing {
namespace {

using fixtures::JpegOptions;
using fixtures::Sampling;

struct WipeSource {
  const char* name;
  Sampling sampling;
  int width, height;
  unsigned restartInterval;
  bool progressive;
  // An Exif thumbnail drawn anew from every block: the rows a first wipe copies are decoded too.
  bool thumbnail = false;
  // Tables fitted to the source may lack what the wiped rows need, a first wipe's copy then
  // gives way to coding every row.
  bool optimised = false;
};

const WipeSource kWipeSources[] = {
    {"Grey", Sampling::kGrey, 107, 77, 0, false},
    {"S420", Sampling::k420, 107, 77, 0, false},
    {"S422Restart", Sampling::k422, 107, 77, 2, false},
    {"S444", Sampling::k444, 107, 77, 0, false},
    {"S420WholeRestart", Sampling::k420, 96, 64, 3, false},
    {"S420Progressive", Sampling::k420, 107, 77, 0, true},
    {"S422Thumbnail", Sampling::k422, 107, 77, 0, false, true},
    {"S444Optimised", Sampling::k444, 107, 77, 0, false, false, true},
    // Restart intervals of one MCU, of a row of 4:2:0 (7 MCUs), of two rows, of a length that
    // is no multiple of a row, and one with a thumbnail drawn from the DC values of intervals
    // both decoded and walked over: a first wipe copies the intervals it leaves.
    {"GreyRestartMcu", Sampling::kGrey, 107, 77, 1, false},
    {"S420RestartRow", Sampling::k420, 107, 77, 7, false},
    {"S444RestartTwoRows", Sampling::k444, 107, 77, 28, false},
    {"S420RestartOdd", Sampling::k420, 107, 77, 5, false},
    {"S422RestartThumbnail", Sampling::k422, 107, 77, 4, false, true},
    // 13 x 9 blocks of 4:2:0 leave the last block column and row of the MCUs padding, the DC
    // predictors after an MCU at the right or bottom edge come from them, and intervals of three
    // MCUs run on from the right edge to the next row.
    {"S420RestartPadded", Sampling::k420, 104, 72, 3, false},
};

// WipeRegions as WIDTHxHEIGHT+X+Y: inside and off the grid, at the corner, out to the far edges
// through their partial MCUs, across middle rows, and across them to the right edge. A first
// wipe of the whole picture copies the rows it leaves as they are coded, which these put
// above, below and on both sides of the wiped rows.
std::vector<TTrimRect> WipeRegions(const WipeSource& source) {
  return {{21, 10, 30, 17},
          {0, 0, 9, 9},
          {source.width - 17, source.height - 17, 17, 17},
          {40, 30, 20, 12},
          {source.width - 17, 30, 17, 12}};
}

std::string WipeGeometry(const TTrimRect& r) {
  return std::to_string(r.Right) + "x" + std::to_string(r.Bottom) + "+" + std::to_string(r.Left) +
         "+" + std::to_string(r.Top);
}

TTrimRect CornersOf(const TTrimRect& r) {
  return {r.Left, r.Top, r.Left + r.Right, r.Top + r.Bottom};
}

Bytes MakeWipeSource(const WipeSource& source) {
  JpegOptions options;
  options.width = source.width;
  options.height = source.height;
  options.sampling = source.sampling;
  options.restartInterval = source.restartInterval;
  options.progressive = source.progressive;
  options.quality = 80;
  options.optimizeCoding = source.optimised;
  if (source.thumbnail) {
    options.extraSegments = {fixtures::MakeExifWithThumbnail(true, source.width, source.height,
                                                             fixtures::MakeJpeg({}), false)};
  }
  return fixtures::MakeJpeg(options);
}

Bytes Written(TJpegTrimming& engine, const TOrientedTrim& cut) {
  TByteStream output;
  if (!engine.TrimCut(output, cut, false)) throw std::runtime_error("trim refused");
  return BytesOf(output);
}

class WipeOracle : public ::testing::TestWithParam<WipeSource> {};

TEST_P(WipeOracle, GreyIsJpegtransWipeAloneBeforeACropAndBeforeEachTurn) {
  const Bytes source = MakeWipeSource(GetParam());
  JpegtranRunner jpegtran;
  TJpegTrimming engine;
  const TLibjpegPictureMaker maker;
  if (GetParam().thumbnail) engine.Pictures.Maker = &maker;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  const TMcuGrid grid = engine.Grid();
  const TOrientedTrim whole = WholePicture(grid, kAsStored);
  const std::vector<TTrimRect> regions = WipeRegions(GetParam());
  for (const TTrimRect& region : regions) {
    SCOPED_TRACE(WipeGeometry(region));
    // Each region is the first wipe of a picture not yet decoded, its changed rows coded on one
    // thread and on three, and of one decoded whole before, as the window has it.
    const Bytes wiped = jpegtran.Run(source, "-copy all -wipe " + WipeGeometry(region));
    for (const int threads : {3, 1, 0}) {
      engine.CodingThreads = threads;
      ASSERT_TRUE(engine.AnalyzeBytes(source));
      if (threads == 0) {
        ASSERT_TRUE(engine.DecodeRows(engine.McuRows()));
      }
      engine.Wipes = {{CornersOf(region), EWipeFill::kGrey}};
      ExpectSameJpeg(Written(engine, whole), wiped);
    }
    ExpectSameJpeg(Written(engine, Trimmed(whole, {19, 5, 80, 60}, grid)),
                   jpegtran.Run(wiped, "-copy all -crop 61x55+19+5"));
  }
  engine.Wipes = {{CornersOf(regions[0]), EWipeFill::kGrey}};
  const Bytes wiped = jpegtran.Run(source, "-copy all -wipe " + WipeGeometry(regions[0]));
  const std::pair<const char*, TOrientation> turns[] = {{"-flip horizontal", kMirrorHorizontal},
                                                        {"-flip vertical", kMirrorVertical},
                                                        {"-transpose", kTransposed},
                                                        {"-transverse", kTransverse},
                                                        {"-rotate 90", kRotate90},
                                                        {"-rotate 180", kRotate180},
                                                        {"-rotate 270", kRotate270}};
  for (const auto& [option, turn] : turns) {
    SCOPED_TRACE(option);
    TTurnLoss loss;
    ExpectSameJpeg(Written(engine, Turned(whole, turn, grid, loss)),
                   jpegtran.Run(wiped, std::string("-copy all -trim ") + option));
  }
  // A second wipe over the first.
  engine.Wipes.push_back({CornersOf(regions[2]), EWipeFill::kGrey});
  ExpectSameJpeg(Written(engine, whole),
                 jpegtran.Run(wiped, "-copy all -wipe " + WipeGeometry(regions[2])));
}

// A first wipe copies the MCUs of the changed rows or intervals that it leaves bit for bit and
// codes the others: two wipes side by side in the same rows, the second out to the right edge,
// wipes of the first and the last MCU row, and, in intervals of five 4:2:0 MCUs, one ending an
// interval whose next starts afresh and one starting an interval.
TEST_P(WipeOracle, WipesSharingRowsOrAtTheTopAndBottomAreJpegtransInTurn) {
  const WipeSource& param = GetParam();
  const Bytes source = MakeWipeSource(param);
  JpegtranRunner jpegtran;
  const TLibjpegPictureMaker maker;
  const std::vector<TTrimRect> regions = WipeRegions(param);
  const std::pair<TTrimRect, TTrimRect> pairs[] = {{regions[3], regions[4]},
                                                   {{0, 0, 20, 1}, {30, param.height - 1, 20, 1}},
                                                   {{48, 0, 32, 16}, {16, 32, 16, 16}}};
  for (const auto& [a, b] : pairs) {
    SCOPED_TRACE(WipeGeometry(a) + " " + WipeGeometry(b));
    TJpegTrimming engine;
    if (param.thumbnail) engine.Pictures.Maker = &maker;
    ASSERT_TRUE(engine.AnalyzeBytes(source));
    engine.Wipes = {{CornersOf(a), EWipeFill::kGrey}, {CornersOf(b), EWipeFill::kGrey}};
    const Bytes once = jpegtran.Run(source, "-copy all -wipe " + WipeGeometry(a));
    ExpectSameJpeg(Written(engine, WholePicture(engine.Grid(), kAsStored)),
                   jpegtran.Run(once, "-copy all -wipe " + WipeGeometry(b)));
  }
}

// A first wipe copies restart intervals only where their markers stand in turn: fill bytes
// before a marker go over with it, and markers out of turn leave the wipe to the whole picture's
// decoding, which refuses it as it refuses the plain cut.
TEST(Wipe, RestartMarkersAfterFillBytesOrOutOfTurn) {
  const Bytes source = MakeWipeSource({"", Sampling::k420, 107, 77, 7, false});
  const TTrimRect region{40, 30, 20, 12};
  Bytes filled = source;
  Bytes swapped = source;
  std::vector<std::size_t> markers;
  for (std::size_t at = ScanStart(source); at + 1 < source.size(); ++at) {
    if (source[at] == 0xFF && (source[at + 1] & 0xF8) == 0xD0) markers.push_back(at);
  }
  ASSERT_GE(markers.size(), 3u);
  for (auto at = markers.rbegin(); at != markers.rend(); ++at) {
    filled.insert(filled.begin() + static_cast<std::ptrdiff_t>(*at), {0xFF, 0xFF});
  }
  std::swap(swapped[markers[0] + 1], swapped[markers[1] + 1]);
  JpegtranRunner jpegtran;
  bool decodedWhole = false;
  const auto wipe = [&](const Bytes& file, TByteStream& output) {
    TJpegTrimming engine;
    engine.OnMessage = nullptr;
    engine.Wipes = {{CornersOf(region), EWipeFill::kGrey}};
    if (!engine.AnalyzeBytes(file)) return TJpegStatus(EJpegError::kBitStream);
    const TJpegStatus status =
        engine.TrimCut(output, WholePicture(engine.Grid(), kAsStored), false);
    decodedWhole = engine.DecodedValid();
    return status;
  };
  TByteStream output;
  ASSERT_TRUE(wipe(filled, output));
  EXPECT_FALSE(decodedWhole);
  ExpectSameJpeg(BytesOf(output), jpegtran.Run(source, "-copy all -wipe " + WipeGeometry(region)));
  TJpegTrimming plain;
  plain.OnMessage = nullptr;
  ASSERT_TRUE(plain.AnalyzeBytes(swapped));
  const TJpegStatus refused = plain.Trim(output, {0, 0, 107, 77}, false);
  EXPECT_FALSE(refused);
  EXPECT_EQ(wipe(swapped, output).Error, refused.Error);
}

INSTANTIATE_TEST_SUITE_P(Sources, WipeOracle, ::testing::ValuesIn(kWipeSources),
                         [](const auto& info) { return std::string(info.param.name); });

// The DC value a block of the grown region must hold, or nothing for a block outside it.
using ExpectedDc =
    std::function<std::optional<int>(const fixtures::ComponentCoefficients&, int row, int col)>;

// Every block of every component: outside the region as in source, inside DC only, as expected.
void ExpectWiped(const Bytes& output, const Bytes& source, const ExpectedDc& expected) {
  const fixtures::Coefficients ours = fixtures::ReadCoefficients(output);
  const fixtures::Coefficients theirs = fixtures::ReadCoefficients(source);
  for (std::size_t c = 0; c < ours.components.size(); ++c) {
    const auto& x = ours.components[c];
    const auto& y = theirs.components[c];
    for (int r = 0; r < x.heightInBlocks; ++r) {
      for (int col = 0; col < x.widthInBlocks; ++col) {
        SCOPED_TRACE(::testing::Message() << "component " << c << " block " << r << "," << col);
        const std::optional<int> dc = expected(y, r, col);
        if (!dc) {
          ASSERT_TRUE(std::equal(x.Block(r, col), x.Block(r, col) + 64, y.Block(r, col)));
          continue;
        }
        ASSERT_EQ(x.Block(r, col)[0], *dc);
        ASSERT_TRUE(std::all_of(x.Block(r, col) + 1, x.Block(r, col) + 64,
                                [](std::int16_t v) { return v == 0; }));
      }
    }
  }
}

int DcMean(const fixtures::ComponentCoefficients& y, int row0, int row1, int col0, int col1,
           int rows, int cols, bool ring) {
  long sum = 0, count = 0;
  for (int r = std::max(row0, 0); r < std::min(row1, rows); ++r) {
    for (int c = std::max(col0, 0); c < std::min(col1, cols); ++c) {
      if (ring && r > row0 && r < row1 - 1 && c > col0 && c < col1 - 1) continue;
      sum += y.Block(r, c)[0];
      ++count;
    }
  }
  return count == 0 ? 0 : static_cast<int>(std::lround(static_cast<double>(sum) / count));
}

TEST(Wipe, FlatAndMosaicFillTheGrownRegionAsPromisedAndKeepEveryOtherBlock) {
  struct Case {
    Sampling sampling;
    TTrimRect region;  // corners
    unsigned restartInterval = 0;
  };
  // An interior region 5 x 3 MCUs of 4:2:0 (a mosaic row of cells joins its last thin column),
  // one at the far edges, one at the corner of 4:4:4; with restart markers, whose intervals the
  // fills average are decoded beside the wiped ones.
  const Case cases[] = {
      {Sampling::k420, {20, 17, 90, 60}},    {Sampling::k420, {70, 50, 107, 77}},
      {Sampling::k444, {0, 0, 30, 20}},      {Sampling::kGrey, {9, 9, 60, 44}},
      {Sampling::k420, {20, 17, 90, 60}, 3}, {Sampling::k444, {0, 0, 30, 20}, 14}};
  for (const Case& c : cases) {
    const Bytes source = MakeWipeSource({"", c.sampling, 107, 77, c.restartInterval, false});
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(source));
    const TTrimRect grown = GrownToMcus(c.region, engine.Grid());
    const int mcuW = engine.McuWidth(), mcuH = engine.McuHeight();
    const fixtures::Coefficients coefficients = fixtures::ReadCoefficients(source);
    // Each fill of a picture not yet decoded, then of one decoded whole before.
    for (const auto& [fill, decodedFirst] :
         {std::pair{EWipeFill::kFlat, false}, std::pair{EWipeFill::kMosaic, false},
          std::pair{EWipeFill::kFlat, true}, std::pair{EWipeFill::kMosaic, true}}) {
      SCOPED_TRACE(::testing::Message() << static_cast<int>(c.sampling) << " fill "
                                        << static_cast<int>(fill) << " decoded " << decodedFirst);
      ASSERT_TRUE(engine.AnalyzeBytes(source));
      if (decodedFirst) {
        ASSERT_TRUE(engine.DecodeRows(engine.McuRows()));
      }
      engine.Wipes = {{c.region, fill}};
      const Bytes output = Written(engine, WholePicture(engine.Grid(), kAsStored));
      ExpectWiped(output, source, [&](const fixtures::ComponentCoefficients& y, int r, int col) {
        const int h = y.h, v = y.v;
        const int row0 = grown.Top / mcuH * v, row1 = grown.Bottom / mcuH * v;
        const int col0 = grown.Left / mcuW * h, col1 = grown.Right / mcuW * h;
        if (r < row0 || r >= row1 || col < col0 || col >= col1) return std::optional<int>();
        const int rows = (coefficients.height * v / coefficients.maxV + 7) / 8;
        const int cols = (coefficients.width * h / coefficients.maxH + 7) / 8;
        if (fill == EWipeFill::kFlat) {
          return std::optional<int>(
              DcMean(y, row0 - 1, row1 + 1, col0 - 1, col1 + 1, rows, cols, true));
        }
        // Cells of 2 x 2 MCUs; a last thin row or column of them joins the one before.
        const int cellH = 2 * v, cellW = 2 * h;
        const int cellsDown = std::max(1, (row1 - row0) / cellH);
        const int cellsAcross = std::max(1, (col1 - col0) / cellW);
        const int y0 = row0 + std::min((r - row0) / cellH, cellsDown - 1) * cellH;
        const int x0 = col0 + std::min((col - col0) / cellW, cellsAcross - 1) * cellW;
        const int y1 = (y0 - row0) / cellH == cellsDown - 1 ? row1 : y0 + cellH;
        const int x1 = (x0 - col0) / cellW == cellsAcross - 1 ? col1 : x0 + cellW;
        return std::optional<int>(DcMean(y, y0, y1, x0, x1, rows, cols, false));
      });
    }
  }
}

// A flat fill next to where a file is cut off averages only the blocks read from it: the rows
// past the cut were never decoded, and whatever their memory held must not colour the fill.
TEST(Wipe, AFlatFillBesideWhereTheFileIsCutOffAveragesOnlyTheRowsRead) {
  const Bytes source = MakeWipeSource({"", Sampling::k420, 107, 77, 0, false});
  const Bytes cutOff(source.begin(),
                     source.begin() + static_cast<std::ptrdiff_t>(source.size() * 3 / 4));
  TJpegTrimming engine;
  engine.OnMessage = nullptr;
  ASSERT_TRUE(engine.AnalyzeBytes(cutOff));
  const int mcuH = engine.McuHeight();
  const int rowsRead = engine.TrimmableHeight() / mcuH;
  ASSERT_GT(rowsRead, 1);
  ASSERT_LT(rowsRead, engine.McuRows());
  const TTrimRect region{20, (rowsRead - 1) * mcuH + 3, 70, rowsRead * mcuH};
  engine.Wipes = {{region, EWipeFill::kFlat}};
  const TOrientedTrim whole = WholePicture(engine.Grid(), kAsStored);
  const Bytes output = Written(engine, Trimmed(whole, {0, 0, 107, rowsRead * mcuH}, engine.Grid()));
  const fixtures::Coefficients coefficients = fixtures::ReadCoefficients(source);
  const TTrimRect grown = GrownToMcus(region, engine.Grid());
  ExpectWiped(output, source, [&](const fixtures::ComponentCoefficients& y, int r, int col) {
    const int h = y.h, v = y.v;
    const int row0 = grown.Top / mcuH * v, row1 = grown.Bottom / mcuH * v;
    const int col0 = grown.Left / engine.McuWidth() * h, col1 = grown.Right / engine.McuWidth() * h;
    if (r < row0 || r >= row1 || col < col0 || col >= col1) return std::optional<int>();
    const int cols = (coefficients.width * h / coefficients.maxH + 7) / 8;
    return std::optional<int>(
        DcMean(y, row0 - 1, row1 + 1, col0 - 1, col1 + 1, rowsRead * v, cols, true));
  });
}

// A first wipe walks over the rows above the wiped ones without keeping their blocks: the thumbnail
// drawn from every block's DC value walks them again for those, as the same wipe of a picture
// decoded whole reads them from its blocks; the window's decoding and a cut of those rows decode
// them.
TEST(Wipe, RowsAFirstWipeWalkedOverAreDecodedForWhatFollows) {
  // Large enough for its thumbnail to be drawn from the DC values; the second large enough for
  // the rows above, in and below the band to be walked in two pieces at once.
  const std::pair<WipeSource, TTrimRect> cases[] = {
      {{"", Sampling::k420, 640, 480, 0, false, true}, {300, 200, 340, 240}},
      {{"", Sampling::kGrey, 2048, 1200, 0, false, true}, {300, 480, 340, 800}},
      {{"", Sampling::k420, 640, 480, 40, false, true}, {300, 200, 340, 240}}};
  JpegtranRunner jpegtran;
  const TLibjpegPictureMaker maker;
  for (const auto& [param, region] : cases) {
    SCOPED_TRACE(param.width);
    const Bytes source = MakeWipeSource(param);
    TJpegTrimming engine;
    engine.Pictures.Maker = &maker;
    ASSERT_TRUE(engine.AnalyzeBytes(source));
    ASSERT_TRUE(engine.DecodeRows(engine.McuRows()));
    engine.Wipes = {{region, EWipeFill::kGrey}};
    const TOrientedTrim whole = WholePicture(engine.Grid(), kAsStored);
    const Bytes decodedFirst = Written(engine, whole);
    ExpectSameJpeg(
        decodedFirst,
        jpegtran.Run(source, "-copy all -wipe " +
                                 WipeGeometry({region.Left, region.Top, region.Right - region.Left,
                                               region.Bottom - region.Top})));
    TJpegTrimming fresh;
    fresh.Pictures.Maker = &maker;
    fresh.Wipes = engine.Wipes;
    ASSERT_TRUE(fresh.AnalyzeBytes(source));
    EXPECT_EQ(Written(fresh, whole), decodedFirst);
  }
  // Without a thumbnail to draw, nothing needs them, with restart markers or without.
  for (const unsigned restartInterval : {0u, 40u}) {
    SCOPED_TRACE(restartInterval);
    const Bytes source =
        MakeWipeSource({"", Sampling::k420, 640, 480, restartInterval, false, true});
    TJpegTrimming engine;
    engine.Wipes = {{{300, 200, 340, 240}, EWipeFill::kGrey}};
    const TOrientedTrim whole = WholePicture({16, 16, 640, 480}, kAsStored);
    ASSERT_TRUE(engine.AnalyzeBytes(source));
    Written(engine, whole);
    EXPECT_EQ(engine.DecodedRows(), 0);
    EXPECT_FALSE(engine.DecodedValid());
    ASSERT_TRUE(engine.DecodeRows(engine.McuRows()));
    EXPECT_TRUE(engine.DecodedValid());
    engine.Wipes.clear();
    ExpectWiped(Written(engine, whole), source,
                [](const fixtures::ComponentCoefficients&, int, int) { return std::nullopt; });
  }
}

}  // namespace
}  // namespace tarvo::testing
