// Damaged files read as libjpeg reads them: what it skips with a warning, the engine skips and
// says so, and every block of the trim is the block libjpeg reads from the damaged source.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "Messages.h"
#include "Wipe.h"

namespace tarvo::testing {
namespace {

using fixtures::JpegOptions;
using fixtures::MakeJpeg;
using fixtures::Sampling;

// Inserts what before the occurrence-th marker 0xFF code (0 the first).
Bytes InsertBefore(Bytes jpeg, std::uint8_t code, int occurrence, const Bytes& what) {
  for (std::size_t at = 2; at + 1 < jpeg.size(); ++at) {
    if (jpeg[at] == 0xFF && jpeg[at + 1] == code && occurrence-- == 0) {
      jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), what.begin(), what.end());
      return jpeg;
    }
  }
  ADD_FAILURE() << "no marker " << int{code};
  return jpeg;
}

JpegOptions Photo(Sampling sampling, unsigned restartInterval, bool arithmetic = false,
                  bool progressive = false) {
  JpegOptions options;
  options.width = 75;
  options.height = 50;
  options.sampling = sampling;
  options.restartInterval = restartInterval;
  options.arithmetic = arithmetic;
  options.progressive = progressive;
  return options;
}

std::string Skipped(int bytes) { return FormatMessage(kMsgExtraneousBytes, std::to_string(bytes)); }

struct DamageCase {
  const char* name;
  Bytes file;
  std::vector<std::string> warnings;  // what the engine says it skipped, in order
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

std::vector<DamageCase> DamageCases() {
  const Bytes restart = MakeJpeg(Photo(Sampling::k420, 2));
  const Bytes arithmetic = MakeJpeg(Photo(Sampling::k444, 3, true));
  const Bytes progressive = MakeJpeg(Photo(Sampling::k420, 0, false, true));
  const Bytes plain = MakeJpeg(Photo(Sampling::k422, 0));
  return {
      {"BytesBeforeHeaderMarker",
       InsertBefore(plain, 0xDB, 0, {0x00, 0x12, 0xFF, 0x00, 0x7F}),
       {Skipped(5)}},
      {"BytesBeforeRestartMarker",
       InsertBefore(restart, 0xD1, 0, {0x3A, 0x00, 0x00}),
       {Skipped(3)}},
      // An arithmetic decoder reads on up to the marker: the bytes are data to it, as to
      // libjpeg's.
      {"BytesBeforeArithmeticRestartMarker", InsertBefore(arithmetic, 0xD0, 0, {0x11, 0x22}), {}},
      {"BytesBeforeLaterScan",
       InsertBefore(progressive, 0xDA, 2, {0x01, 0x02, 0x03, 0x04}),
       {Skipped(4)}},
      {"EmptyComment",
       InsertBefore(plain, 0xDB, 0, {0xFF, 0xFE, 0x00, 0x00}),
       {FormatMessage(kMsgEmptySegmentSkipped, "FFFE")}},
      {"LineCountAfterScan", InsertBefore(plain, 0xD9, 0, {0xFF, 0xDC, 0x00, 0x04, 0x00, 50}), {}},
      {"LineCountBetweenScans",
       InsertBefore(progressive, 0xDA, 1, {0xFF, 0xDC, 0x00, 0x04, 0, 50}),
       {}},
  };
}

class DamagedFile : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedFile, IsTrimmedAsLibjpegReadsItWithWhatWasSkipped) {
  const DamageCase& c = GetParam();
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(c.file)) << log.Only();
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {0, 0, 75, 50}, false)) << log.Only();
  std::vector<std::string> warnings;
  for (const auto& [text, severity] : log.messages) {
    EXPECT_EQ(severity, kSeverityWarning) << text;
    warnings.push_back(text);
  }
  EXPECT_EQ(warnings, c.warnings);

  const Bytes trimmed = BytesOf(output);
  const fixtures::Coefficients in = fixtures::ReadCoefficients(c.file);
  const fixtures::Coefficients out = fixtures::ReadCoefficients(trimmed);
  EXPECT_EQ(out.warnings, 0);
  ASSERT_EQ(out.components.size(), in.components.size());
  for (std::size_t k = 0; k < in.components.size(); ++k) {
    ASSERT_EQ(out.components[k].blocks.size(), in.components[k].blocks.size());
    EXPECT_EQ(0, std::memcmp(out.components[k].blocks.data(), in.components[k].blocks.data(),
                             in.components[k].blocks.size() * 2))
        << "component " << k;
  }
  // Nothing the source only carried as damage reaches the output.
  for (std::size_t at = 0; at + 1 < trimmed.size(); ++at) {
    EXPECT_FALSE(trimmed[at] == 0xFF && (trimmed[at + 1] == 0xDC || trimmed[at + 1] == 0xFE));
  }
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedFile, ::testing::ValuesIn(DamageCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct CutCase {
  const char* name;
  JpegOptions options;
  double kept;  // the share of the file that arrived
  bool opens;   // else refused as cut off
};

void PrintTo(const CutCase& c, std::ostream* out) { *out << c.name; }

std::vector<CutCase> CutCases() {
  const auto tall = [](Sampling sampling, unsigned restartInterval, bool arithmetic = false,
                       bool progressive = false) {
    JpegOptions options = Photo(sampling, restartInterval, arithmetic, progressive);
    options.height = 131;
    return options;
  };
  return {
      {"Sequential420Half", tall(Sampling::k420, 0), 0.5, true},
      {"Sequential444RestartQuarter", tall(Sampling::k444, 2), 0.25, true},
      {"SequentialGreyNinetyPercent", tall(Sampling::kGrey, 0), 0.9, true},
      {"Arithmetic420RestartHalf", tall(Sampling::k420, 3, true), 0.5, true},
      {"ProgressiveInItsLastScan", tall(Sampling::k420, 0, false, true), 0.97, true},
      // Scans that would refine the rows that arrived are missing.
      {"ProgressiveHalf", tall(Sampling::k420, 0, false, true), 0.5, false},
      {"ArithmeticProgressiveHalf", tall(Sampling::k444, 0, true, true), 0.5, false},
  };
}

class CutOffFile : public ::testing::TestWithParam<CutCase> {};

// The cut's blocks, read back by libjpeg, are the blocks of the top of reference, row for row,
// and libjpeg reads the cut without a warning.
void ExpectTheTopOf(const Bytes& reference, const TByteStream& output) {
  const fixtures::Coefficients in = fixtures::ReadCoefficients(reference);
  const fixtures::Coefficients out = fixtures::ReadCoefficients(BytesOf(output));
  EXPECT_EQ(out.warnings, 0);
  for (std::size_t k = 0; k < in.components.size(); ++k) {
    const auto& a = in.components[k];
    const auto& b = out.components[k];
    ASSERT_EQ(b.widthInBlocks, a.widthInBlocks);
    for (int row = 0; row < b.heightInBlocks; ++row) {
      ASSERT_EQ(0, std::memcmp(b.Block(row, 0), a.Block(row, 0),
                               static_cast<std::size_t>(a.widthInBlocks) * 128))
          << "component " << k << " row " << row;
    }
  }
}

TEST_P(CutOffFile, OpensWithTheRowsThatArrivedAndTrimsThemExactly) {
  const CutCase& c = GetParam();
  const Bytes whole = MakeJpeg(c.options);
  const Bytes cut(whole.begin(),
                  whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * c.kept));
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  if (!c.opens) {
    EXPECT_FALSE(engine.AnalyzeBytes(cut));
    EXPECT_EQ(log.Only(), kMsgScanTooShort);
    return;
  }
  ASSERT_TRUE(engine.AnalyzeBytes(cut)) << log.Only();
  const int rows = engine.TrimmableHeight();
  ASSERT_GT(rows, 0);
  ASSERT_LT(rows, c.options.height);
  EXPECT_EQ(rows % engine.McuHeight(), 0);
  EXPECT_EQ(log.messages,
            (std::vector<std::pair<std::string, int>>{
                {FormatMessage(FormatMessage(kMsgCutOff, "131"), std::to_string(rows)),
                 kSeverityWarning}}));
  log.messages.clear();

  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {0, 0, 75, rows}, false)) << log.Only();
  ExpectTheTopOf(whole, output);
  EXPECT_FALSE(engine.Trim(output, {8, 0, 40, rows + 1}, false));
  EXPECT_EQ(log.Only(), FormatMessage(kMsgBeyondCutOff, std::to_string(rows)));
}

INSTANTIATE_TEST_SUITE_P(Cut, CutOffFile, ::testing::ValuesIn(CutCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// jpeg with the data of its restart interval k (0 the first) overwritten by pattern, a byte
// generator that never makes 0xFF: damage within one interval.
template <typename Pattern>
Bytes IntervalOverwritten(Bytes jpeg, int k, Pattern pattern) {
  std::size_t at = ScanStart(jpeg);
  for (int seen = 0; seen < k; ++at) seen += jpeg[at] == 0xFF && (jpeg[at + 1] & 0xF8) == 0xD0;
  if (k > 0) ++at;  // past the code of the marker before the interval
  for (int i = 0; !(jpeg[at] == 0xFF && jpeg[at + 1] != 0x00); ++at, ++i) jpeg[at] = pattern(i);
  return jpeg;
}

struct IntervalCase {
  const char* name;
  Sampling sampling;
  unsigned restartInterval;
  int interval;  // the one overwritten
  std::uint8_t (*pattern)(int);
  TTrimRect damaged;  // the pixels the engine names
};

void PrintTo(const IntervalCase& c, std::ostream* out) { *out << c.name; }

class DamagedInterval : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(DamagedInterval, IsNamedAndEveryCutClearOfItIsExact) {
  const IntervalCase& c = GetParam();
  const Bytes clean = MakeJpeg(Photo(c.sampling, c.restartInterval));
  const Bytes file = IntervalOverwritten(clean, c.interval, c.pattern);
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(file)) << log.Only();
  TByteStream output;
  EXPECT_FALSE(engine.Trim(output, {0, 0, 75, 50}, false));
  TJpegStatus refusal(EJpegError::kDamagedRegion);
  refusal.Region = c.damaged;
  EXPECT_EQ(log.Only(), MessageText(refusal));
  EXPECT_EQ(engine.DamagedRegions(), std::vector<TTrimRect>{c.damaged});
  // A first wipe clear of the damage copies the intervals it leaves only once each is read as
  // it stands: the whole picture is refused all the same.
  TJpegTrimming wiping;
  wiping.OnMessage = nullptr;
  wiping.Wipes = {{{60, 40, 75, 50}, EWipeFill::kGrey}};
  ASSERT_TRUE(wiping.AnalyzeBytes(file));
  EXPECT_EQ(wiping.Trim(output, {0, 0, 75, 50}, false).Error, EJpegError::kDamagedRegion);
  // Below the damage, and beside it in its own rows: exact, and nothing to tell.
  log.messages.clear();
  for (const TTrimRect& rect : {TTrimRect{0, c.damaged.Bottom, 75, 50},
                                TTrimRect{0, c.damaged.Top, c.damaged.Left, c.damaged.Bottom}}) {
    if (rect.Left >= rect.Right || rect.Top >= rect.Bottom) continue;
    ASSERT_TRUE(engine.Trim(output, rect, false)) << log.Only();
    const fixtures::Coefficients in = fixtures::ReadCoefficients(clean);
    const fixtures::Coefficients out = fixtures::ReadCoefficients(BytesOf(output));
    EXPECT_EQ(out.warnings, 0);
    for (std::size_t k = 0; k < in.components.size(); ++k) {
      const auto& a = in.components[k];
      const auto& b = out.components[k];
      const int top = rect.Top / 8 * a.heightInBlocks /
                      ((in.height + 8 * in.maxV - 1) / (8 * in.maxV) * in.maxV);
      for (int row = 0; row < b.heightInBlocks && top + row < a.heightInBlocks; ++row) {
        ASSERT_EQ(0, std::memcmp(b.Block(row, 0), a.Block(top + row, 0),
                                 static_cast<std::size_t>(b.widthInBlocks) * 128))
            << "component " << k << " row " << row;
      }
    }
  }
  EXPECT_TRUE(log.messages.empty());
}

std::uint8_t Zeros(int) { return 0x00; }
std::uint8_t Scrambled(int i) { return static_cast<std::uint8_t>((i * 97 + 13) % 251); }

INSTANTIATE_TEST_SUITE_P(
    Overwritten, DamagedInterval,
    ::testing::Values(
        // 4:2:0 MCUs of 16 x 16, five to a row: interval 1 is MCUs 2 and 3 of the top row.
        IntervalCase{"Zeros420", Sampling::k420, 2, 1, Zeros, {32, 0, 64, 16}},
        // Interval 2 runs from the top row's last MCU into the next row: both rows are named.
        IntervalCase{"ScrambledAcrossRows420", Sampling::k420, 2, 2, Scrambled, {0, 0, 75, 32}},
        // 4:4:4 MCUs of 8 x 8, ten to a row: interval 4 is MCUs 2 to 4 of the second row.
        IntervalCase{"Zeros444", Sampling::k444, 3, 4, Zeros, {16, 8, 40, 16}}),
    [](const auto& info) { return std::string(info.param.name); });

// An arithmetic decoder reads any bytes as some decisions. Where they cannot make a block (a run of
// zeros past the last coefficient, a magnitude beyond 15 bits), the interval is lost and decoding
// goes on at the next marker, as libjpeg does; where they can, they decode as libjpeg decodes them.
// Either way the rows below are exact. Random bytes over interval 3 of a 4:4:4 picture of 20 x 12
// MCUs in intervals of a row: MCU row 3. Few seeds make bytes that cannot be decoded.
TEST(DamagedArithmeticInterval, IsPassedOverAtTheNextMarker) {
  JpegOptions options = Photo(Sampling::k444, 20, true);
  options.width = 160;
  options.height = 96;
  const Bytes clean = MakeJpeg(options);
  const fixtures::Coefficients in = fixtures::ReadCoefficients(clean);
  const struct {
    unsigned seed;
    bool named;
  } cases[] = {{1850, true}, {2361, true}, {0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seed);
    std::mt19937 random(c.seed);
    const Bytes file = IntervalOverwritten(
        clean, 3, [&](int) { return static_cast<std::uint8_t>(random() % 0xFF); });
    TJpegTrimming engine;
    engine.OnMessage = nullptr;
    ASSERT_TRUE(engine.AnalyzeBytes(file));
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, {0, 32, 160, 96}, false));
    const fixtures::Coefficients out = fixtures::ReadCoefficients(BytesOf(output));
    for (std::size_t k = 0; k < in.components.size(); ++k) {
      const auto& a = in.components[k];
      const auto& b = out.components[k];
      EXPECT_EQ(0, std::memcmp(b.Block(0, 0), a.Block(4, 0),
                               static_cast<std::size_t>(b.widthInBlocks * b.heightInBlocks) * 128))
          << "component " << k;
    }
    EXPECT_EQ(engine.DamagedRegions(),
              (c.named ? std::vector<TTrimRect>{{0, 24, 160, 32}} : std::vector<TTrimRect>{}));
    EXPECT_EQ(engine.Trim(output, {0, 0, 160, 96}, false).Error,
              c.named ? EJpegError::kDamagedRegion : EJpegError::kNone);
  }
}

// An arithmetic decoder is fed zeros past the marker after its data, and an encoder leaves out the
// zero bytes its data end with; but data that stop long before the picture does were cut off,
// also where a marker follows them.
TEST(ArithmeticScanEnd, DataThatStopBeforeTheirMarkerCutThePictureOff) {
  JpegOptions options = Photo(Sampling::k420, 0, true);
  options.height = 131;
  const Bytes whole = MakeJpeg(options);
  Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
  cut.insert(cut.end(), {0xFF, 0xD9});
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(cut));
  TByteStream output;
  EXPECT_FALSE(engine.Trim(output, {0, 0, 75, 131}, false));
  const int rows = engine.TrimmableHeight();
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, 131);
  EXPECT_TRUE(engine.Trim(output, {0, 0, 75, rows}, false));
}

// A few bytes can declare a frame of 65500 x 65500.
Bytes HugeArithmeticFrame() {
  Bytes file = MakeJpeg(Photo(Sampling::kGrey, 0, true, true));
  const Bytes sof10 = {0xFF, 0xCA};
  const auto sof = std::search(file.begin(), file.end(), sof10.begin(), sof10.end());
  // Height and width, big-endian, after the length and the precision.
  for (const int at : {5, 7}) {
    sof[at] = 0xFF;
    sof[at + 1] = 0xDC;
  }
  return file;
}

// The memory the process holds now, in bytes.
std::uint64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0;
  std::uint64_t resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// Its store is refused before it is allocated where it cannot fit, and a caller that asks only
// for the geometry decodes nothing.
TEST(ArithmeticScanEnd, AFrameLargerThanMemoryIsRefusedBeforeAllocating) {
  const Bytes file = HugeArithmeticFrame();
  const Bytes noEoi(file.begin(), file.end() - 2);
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  engine.LimitMemory(std::uint64_t{64} << 20);
  engine.AnalysisDecodes = false;
  ASSERT_TRUE(engine.AnalyzeBytes(noEoi)) << log.Only();
  EXPECT_EQ(engine.ImageWidth(), 65500);
  engine.AnalysisDecodes = true;
  ASSERT_TRUE(engine.AnalyzeBytes(file)) << log.Only();
  TByteStream output;
  EXPECT_FALSE(engine.Trim(output, {0, 0, 16, 16}, false));
  EXPECT_EQ(log.Only(), kMsgOutOfMemory);
}

// Where its 8 GB store may be had, the process holds no more of it than the few rows its data
// reach: the rest is never written, not even cleared.
TEST(ArithmeticScanEnd, AFrameThatMayBeHadHoldsOnlyWhatItsDataReach) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator hands out memory that must be cleared";
#endif
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  engine.LimitMemory(std::uint64_t{16} << 30);
  ASSERT_TRUE(engine.AnalyzeBytes(HugeArithmeticFrame())) << log.Only();
  const std::uint64_t before = ResidentBytes();
  TByteStream output;
  EXPECT_FALSE(engine.Trim(output, {0, 0, 16, 16}, false));
  // Refused as cut off, or as too large where the system will not map that much.
  EXPECT_LT(ResidentBytes(), before + (std::uint64_t{256} << 20)) << log.Only();
}

// Damage inside a scan that no restart marker splits at: the rows above where reading first meets
// something out of place are cut exactly and silently, a cut reaching below is refused, and both
// what reading found and the refusal name the last row that can be cut.
struct ScanDamageCase {
  const char* name;
  Bytes file;
  int atLeast;  // the fewest rows from the top the engine must keep
  bool cutOff;  // told as a file cut off, not as damage
  // What libjpeg reads the kept rows from: the file, or where it cannot read that, the file
  // before the damage.
  Bytes reference;
};

void PrintTo(const ScanDamageCase& c, std::ostream* out) { *out << c.name; }

constexpr int kTall = 200;  // 75 x 200 pixels, 13 rows of 4:2:0 MCUs

JpegOptions Tall(unsigned restartInterval = 0) {
  JpegOptions options = Photo(Sampling::k420, restartInterval);
  options.height = kTall;
  return options;
}

std::vector<ScanDamageCase> ScanDamageCases() {
  const Bytes plain = MakeJpeg(Tall());
  Bytes strayBytes(37);
  for (std::size_t i = 0; i < strayBytes.size(); ++i) strayBytes[i] = Scrambled(int(i));
  // The last data byte's padding broken and bytes after it: the blocks ended elsewhere.
  Bytes beforeEoi = plain;
  beforeEoi[beforeEoi.size() - 3] &= 0xFE;
  beforeEoi = InsertBefore(beforeEoi, 0xD9, 0, {0x12, 0x34});
  // The restart marker near the middle numbered out of turn.
  Bytes renumbered = MakeJpeg(Tall(2));
  std::size_t marker = renumbered.size() / 2;
  while (!(renumbered[marker] == 0xFF && (renumbered[marker + 1] & 0xF8) == 0xD0)) ++marker;
  renumbered[marker + 1] = 0xD0 + (renumbered[marker + 1] + 3) % 8;
  // A flat picture takes two bits a block: a file cut off after two and a half of its rows is far
  // shorter than two bits for each block of the whole.
  JpegOptions flat = Tall();
  flat.optimizeCoding = true;
  flat.pixels.assign(std::size_t{75} * kTall * 3, 128);
  const Bytes flatFile = MakeJpeg(flat);
  const std::size_t start = ScanStart(flatFile);
  const Bytes cutOff(flatFile.begin(),
                     flatFile.begin() + static_cast<std::ptrdiff_t>(
                                            start + (flatFile.size() - 2 - start) * 5 / 26));
  std::vector<ScanDamageCase> cases = {
      {"UndecodableCode", fixtures::WithInsertedInScan(plain, 0.5), 64, false, {}},
      // Decoded as blocks, and the scan's blocks end before its data do.
      {"StrayBytes", fixtures::WithInsertedInScan(plain, 0.5, strayBytes), 64, false, {}},
      {"MarkerBeforeTheLastMcu",
       fixtures::WithInsertedInScan(plain, 0.5, {0xFF, 0xD3}),
       64,
       false,
       {}},
      // A marker that seems to end the data, its segment and the rest of the data a tail that
      // no trim could carry.
      {"SegmentInsideTheData",
       fixtures::WithInsertedInScan(plain, 0.5, {0xFF, 0xC4, 0x00, 0x04, 0x10, 0x00}), 64, false,
       plain},
      {"BytesLeftBeforeEoi", beforeEoi, kTall - 16, false, {}},
      {"RestartMarkerOutOfTurn", renumbered, 64, false, {}},
      {"CutOffWithTwoWholeRows", cutOff, 32, true, flatFile},
  };
  for (ScanDamageCase& c : cases) {
    if (c.reference.empty()) c.reference = c.file;
  }
  return cases;
}

class DamagedScan : public ::testing::TestWithParam<ScanDamageCase> {};

TEST_P(DamagedScan, CutsTheRowsAboveExactlyAndNamesTheLastRowThatCanBeCut) {
  const ScanDamageCase& c = GetParam();
  TJpegTrimming whole;
  MessageLog log;
  log.Attach(whole);
  TByteStream output;
  ASSERT_TRUE(whole.AnalyzeBytes(c.file)) << log.Only();
  EXPECT_FALSE(whole.Trim(output, {0, 0, 75, kTall}, false));
  const int rows = c.cutOff                         ? whole.TrimmableHeight()
                   : whole.DamagedRegions().empty() ? kTall
                                                    : whole.DamagedRegions().back().Top;
  EXPECT_GE(rows, c.atLeast);
  ASSERT_LT(rows, kTall);
  if (!c.cutOff) {
    EXPECT_EQ(whole.DamagedRegions(), (std::vector<TTrimRect>{{0, rows, 75, kTall}}));
  }
  const std::string found =
      FormatMessage(FormatMessage(c.cutOff ? kMsgCutOff : kMsgDamagedScan, std::to_string(kTall)),
                    std::to_string(rows));
  const std::string refusal =
      FormatMessage(c.cutOff ? kMsgBeyondCutOff : kMsgBeyondDamage, std::to_string(rows));
  EXPECT_EQ(log.messages, (std::vector<std::pair<std::string, int>>{{found, kSeverityWarning},
                                                                    {refusal, kSeverityError}}));

  // Cut on its own, the band above is exact, and at most what reading found is said.
  TJpegTrimming above;
  log.messages.clear();
  log.Attach(above);
  ASSERT_TRUE(above.AnalyzeBytes(c.file));
  ASSERT_TRUE(above.Trim(output, {0, 0, 75, rows}, false)) << log.Only();
  for (const auto& message : log.messages) EXPECT_EQ(message.first, found);
  ExpectTheTopOf(c.reference, output);
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedScan, ::testing::ValuesIn(ScanDamageCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo::testing
