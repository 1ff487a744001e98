// A scan decoded in parts split at restart markers, in runs of MCU rows that go on where the
// last stopped, or only in the restart intervals a cut needs, equals its sequential decode block
// for block, and a damaged scan is never taken from the parts.
#include "RestartParts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "BitStreamFile.h"
#include "EngineTestSupport.h"
#include "JpegModelReader.h"
#include "JpegTrimming.h"
#include "McuWalk.h"
#include "ScanWalk.h"

namespace tarvo::testing {
namespace {

using fixtures::MakeJpeg;
using fixtures::Sampling;

struct TDecoded {
  bool ok = false;
  TJpegModel model;
  TCoefficientStore store;
};

// Both decodes of jpeg's first mcuRows MCU rows into cleared stores: sequential, and in parts.
void DecodeBoth(const Bytes& jpeg, int mcuRows, int parts, TDecoded& sequential, TDecoded& split) {
  TByteStream source;
  source.Assign(jpeg);
  ASSERT_TRUE(ReadJpegModel(source, sequential.model));
  ASSERT_TRUE(sequential.model.SingleScan());
  split.model = sequential.model;
  sequential.store.Allocate(sequential.model, true);
  split.store.Allocate(split.model, true);
  TInBitStreamFile reader(source);
  reader.SetPosition(sequential.model.Scans[0].DataStart);
  TScanReport report;
  report.AtRow = [](int) {};
  sequential.ok = DecodeSequentialScan(sequential.model, sequential.model.Scans[0], reader,
                                       sequential.store, report, mcuRows) == EJpegError::kNone;
  split.ok = DecodeInRestartParts(
      split.model, source.Bytes(), split.store, [](int) {}, 0, mcuRows, parts);
}

bool SameBlocks(const TDecoded& a, const TDecoded& b) {
  for (std::size_t slot = 0; slot < a.model.Components.size(); ++slot) {
    const TFrameComponent& component = a.model.Components[slot];
    const auto s = static_cast<int>(slot);
    const std::size_t rows = static_cast<std::size_t>(a.model.McuRows * component.VSampling);
    for (std::size_t row = 0; row < rows; ++row) {
      for (std::size_t col = 0; col < a.store.RowBlocks(s); ++col) {
        if (!std::equal(a.store.Block(s, row, col), a.store.Block(s, row, col) + 64,
                        b.store.Block(s, row, col))) {
          return false;
        }
      }
    }
  }
  return true;
}

Bytes Fixture(Sampling sampling, int width, int height, unsigned interval) {
  fixtures::JpegOptions options;
  options.sampling = sampling;
  options.width = width;
  options.height = height;
  options.restartInterval = interval;
  return MakeJpeg(options);
}

TEST(RestartParts, PartsDecodeAsTheSequentialDecodeDoes) {
  struct TCase {
    const char* name;
    Sampling sampling;
    int width, height;
    unsigned interval;
    int parts;
    int mcuRows;
  };
  const TCase cases[] = {
      {"intervals of one MCU, two parts", Sampling::kGrey, 64, 64, 1, 2, 8},
      {"intervals of one MCU, more parts than rows", Sampling::k444, 24, 24, 1, 4, 3},
      {"odd interval, two a row", Sampling::k420, 160, 96, 5, 2, 6},
      {"odd interval of a row", Sampling::k420, 112, 80, 7, 3, 5},
      {"odd interval, a row start every third row", Sampling::k422, 160, 72, 3, 2, 9},
      {"picture edge inside the last MCUs", Sampling::k420, 150, 100, 2, 2, 7},
      {"stopped early", Sampling::k420, 160, 96, 1, 2, 3},
      {"stopped early at a part boundary", Sampling::k444, 64, 64, 4, 2, 4},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TDecoded sequential, split;
    DecodeBoth(Fixture(c.sampling, c.width, c.height, c.interval), c.mcuRows, c.parts, sequential,
               split);
    EXPECT_TRUE(sequential.ok);
    EXPECT_TRUE(split.ok);
    EXPECT_TRUE(SameBlocks(sequential, split));
  }
}

// Runs of rows of every length, in parts or not, leave the blocks and the damage the whole
// decode leaves: predictors, bit position and restart count carry over between runs, also where
// a run ends inside an interval, at its end, or inside a damaged one.
TEST(RestartParts, RunsOfRowsDecodeAsTheWholeScanDoes) {
  struct TCase {
    const char* name;
    Sampling sampling;
    int width, height;
    unsigned interval;
    bool damaged;
  };
  const TCase cases[] = {
      {"no restart markers, odd size", Sampling::k420, 150, 100, 0, false},
      {"grey, interval of one MCU", Sampling::kGrey, 64, 72, 1, false},
      {"interval of a row and a half", Sampling::k420, 96, 112, 9, false},
      {"odd interval, partial MCUs at both edges", Sampling::k422, 100, 70, 5, false},
      {"a damaged interval", Sampling::k444, 64, 80, 3, true},
  };
  for (const TCase& c : cases) {
    Bytes jpeg = Fixture(c.sampling, c.width, c.height, c.interval);
    if (c.damaged) {
      // The data of the fourth interval zeroed: they decode, but not to its end.
      int seen = 0;
      std::size_t at = 2;
      for (; seen < 3; ++at) seen += jpeg[at] == 0xFF && (jpeg[at + 1] & 0xF8) == 0xD0;
      for (int i = 1; !(jpeg[at + i] == 0xFF && jpeg[at + i + 1] != 0x00); ++i) {
        jpeg[at + i] = 0x00;
      }
    }
    TDecoded whole, split;
    DecodeBoth(jpeg, 1000, 2, whole, split);
    TByteStream source;
    source.Assign(jpeg);
    TScanReport wholeReport;
    wholeReport.AtRow = [](int) {};
    {
      TInBitStreamFile reader(source);
      reader.SetPosition(whole.model.Scans[0].DataStart);
      whole.store.Allocate(whole.model, true);
      ASSERT_EQ(DecodeSequentialScan(whole.model, whole.model.Scans[0], reader, whole.store,
                                     wholeReport, 1000),
                EJpegError::kNone);
    }
    for (const int run : {1, 2, 3, 5}) {
      for (const int parts : {1, 2}) {
        SCOPED_TRACE(::testing::Message() << c.name << ", runs of " << run << ", parts " << parts);
        TDecoded runs;
        runs.model = whole.model;
        runs.store.Allocate(runs.model, true);
        TSequentialScanDecoding decoding(runs.model, source);
        TScanReport report;
        report.AtRow = [](int) {};
        for (int row = run; decoding.Rows() < runs.model.McuRows; row += run) {
          ASSERT_EQ(decoding.DecodeTo(row, runs.store, report, parts), EJpegError::kNone);
          ASSERT_EQ(decoding.Rows(), std::min(row, runs.model.McuRows));
        }
        EXPECT_TRUE(SameBlocks(whole, runs));
        EXPECT_EQ(report.Damaged.size(), wholeReport.Damaged.size());
        EXPECT_EQ(report.Damaged.empty(), !c.damaged);
      }
    }
  }
}

// Only the intervals that hold the windows' MCUs are decoded, and those blocks equal the whole
// sequential decode's; the rest of the store stays as it was.
TEST(RestartParts, TheIntervalsOfTheWindowsDecodeAsTheWholeScanDoes) {
  struct TCase {
    const char* name;
    Sampling sampling;
    int width, height;
    unsigned interval;
    std::vector<std::array<int, 4>> windows;  // first and end column, first and end row
    int parts;
  };
  const TCase cases[] = {
      {"top", Sampling::k420, 160, 96, 5, {{2, 6, 0, 2}}, 2},
      {"middle, odd interval across rows", Sampling::k420, 160, 96, 7, {{3, 5, 2, 4}}, 2},
      {"bottom, picture edge inside the last MCUs",
       Sampling::k420,
       150,
       100,
       4,
       {{6, 10, 5, 7}},
       1},
      {"intervals of one MCU", Sampling::k444, 64, 64, 1, {{1, 3, 4, 6}}, 3},
      {"an interval of all MCUs but the last", Sampling::k422, 48, 32, 11, {{1, 2, 3, 4}}, 2},
      {"several windows, one reaching the last interval",
       Sampling::kGrey,
       80,
       72,
       3,
       {{0, 2, 0, 1}, {4, 10, 4, 6}, {9, 10, 8, 9}},
       2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TDecoded sequential, split;
    const Bytes jpeg = Fixture(c.sampling, c.width, c.height, c.interval);
    DecodeBoth(jpeg, 1000, 2, sequential, split);
    ASSERT_TRUE(sequential.ok);
    std::vector<TTrimWindow> windows;
    for (const auto& [firstCol, endCol, firstRow, endRow] : c.windows) {
      TTrimWindow window;
      window.FirstCol = firstCol;
      window.EndCol = endCol;
      window.FirstRow = firstRow;
      window.EndRow = endRow;
      windows.push_back(window);
    }
    TDecoded skipping;
    skipping.model = sequential.model;
    skipping.store.Allocate(skipping.model, true);
    const TIntervalSet intervals = IntervalsHolding(skipping.model, windows);
    ASSERT_TRUE(DecodeRestartIntervals(
        skipping.model, jpeg, skipping.store, [](int) {}, intervals, c.parts));
    const TMcuLayout layout = ScanLayout(skipping.model, skipping.model.Scans[0]);
    int taken = 0;
    for (std::size_t k = 0; k < intervals.size(); ++k) {
      taken += intervals[k];
      for (int m = static_cast<int>(k) * layout.RestartInterval;
           m < std::min<int>((static_cast<int>(k) + 1) * layout.RestartInterval,
                             layout.EndCol * layout.EndRow);
           ++m) {
        WalkMcuBlocks(layout, m / layout.EndCol, m % layout.EndCol,
                      [&](int slot, std::size_t row, std::size_t col) {
                        const std::int16_t* got = skipping.store.Block(slot, row, col);
                        const bool zero = std::all_of(got, got + 64, [](int v) { return v == 0; });
                        const bool same =
                            std::equal(got, got + 64, sequential.store.Block(slot, row, col));
                        EXPECT_TRUE(intervals[k] != 0 ? same : zero) << "MCU " << m;
                        return true;
                      });
      }
    }
    for (const TTrimWindow& window : windows) {
      EXPECT_TRUE(IntervalsCover(skipping.model, intervals, window));
    }
    EXPECT_LT(taken, static_cast<int>(intervals.size())) << "nothing was skipped";
  }
}

// Damage anywhere: the parts succeed only where the sequential decode does, and then agree.
TEST(RestartParts, DamagedScansAreNeverTakenFromTheParts) {
  const Bytes clean = Fixture(Sampling::k420, 160, 96, 3);
  TByteStream source;
  source.Assign(clean);
  TJpegModel model;
  ASSERT_TRUE(ReadJpegModel(source, model));
  const auto dataStart = static_cast<std::size_t>(model.Scans[0].DataStart);
  const auto dataEnd = static_cast<std::size_t>(model.Scans[0].DataEnd);
  std::vector<std::size_t> restartCodes;
  for (std::size_t i = dataStart; i + 1 < dataEnd; ++i) {
    if (clean[i] == 0xFF && (clean[i + 1] & 0xF8) == 0xD0) restartCodes.push_back(i + 1);
  }
  ASSERT_FALSE(restartCodes.empty());
  std::mt19937 random(7);
  const auto pick = [&](std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(random);
  };
  int refusedBoth = 0;
  for (int round = 0; round < 200; ++round) {
    Bytes jpeg = clean;
    // Even rounds renumber a restart marker, odd ones flip a bit of the coded data.
    if (round % 2 == 0) {
      std::uint8_t& code = jpeg[restartCodes[pick(0, restartCodes.size() - 1)]];
      code = static_cast<std::uint8_t>(0xD0 | ((code + 1 + pick(0, 6)) & 7));
    } else {
      jpeg[pick(dataStart, dataEnd - 1)] ^= static_cast<std::uint8_t>(1u << pick(0, 7));
    }
    TDecoded sequential, split;
    DecodeBoth(jpeg, 1000, 2 + round % 3, sequential, split);
    if (split.ok) {
      EXPECT_TRUE(sequential.ok) << "round " << round;
      EXPECT_TRUE(SameBlocks(sequential, split)) << "round " << round;
    }
    refusedBoth += !sequential.ok && !split.ok;
  }
  EXPECT_GT(refusedBoth, 0);
}

// The engine takes the parts where it can and reports a damaged scan as the sequential decode
// does: the second of three restart markers, where two parts would meet, renumbered, which no
// trim below it may reach.
TEST(RestartParts, TheEngineReportsTheSequentialDecodesError) {
  Bytes jpeg = Fixture(Sampling::k420, 160, 96, 15);
  int seen = 0;
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] & 0xF8) == 0xD0 && ++seen == 2) jpeg[i + 1] = 0xD5;
  }
  ASSERT_EQ(seen, 3);
  TJpegTrimming engine;
  engine.OnMessage = nullptr;
  ASSERT_TRUE(engine.AnalyzeBytes(jpeg));
  TByteStream output;
  const TJpegStatus status = engine.Trim(output, {0, 80, 16, 96}, false);
  EXPECT_EQ(status.Error, EJpegError::kBeyondDamage);
  EXPECT_EQ(status.Rows, 32);
}

// A misnumbered marker above the cut's intervals sends the engine to the sequential decode,
// which refuses it; one below what the cut needs is never read, as no decode that stops early
// reads it.
TEST(RestartParts, AMarkerOutOfTurnIsFoundWhereTheSequentialDecodeWouldMeetIt) {
  struct TCase {
    const char* name;
    int marker;  // counted from 1
    EJpegError expected;
  };
  const TCase cases[] = {
      {"above the cut", 2, EJpegError::kBitStream},
      {"below the cut", 27, EJpegError::kNone},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    // 10 x 6 MCUs in intervals of 2: 29 markers; the cut takes intervals 16 to 22 of MCU rows 3
    // and 4, marker 27 ends interval 26 in row 5.
    Bytes jpeg = Fixture(Sampling::k420, 160, 96, 2);
    int seen = 0;
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
      if (jpeg[i] == 0xFF && (jpeg[i + 1] & 0xF8) == 0xD0 && ++seen == c.marker) {
        jpeg[i + 1] = static_cast<std::uint8_t>(0xD0 | ((jpeg[i + 1] + 3) & 7));
      }
    }
    ASSERT_EQ(seen, 29);
    TJpegTrimming engine;
    engine.OnMessage = nullptr;
    ASSERT_TRUE(engine.AnalyzeBytes(jpeg));
    const TOrientedTrim cut{{32, 48, 96, 80}, kAsStored, kAsStored};
    engine.DecodeOnlyFor(std::span(&cut, 1));
    TByteStream output;
    EXPECT_EQ(engine.TrimCut(output, cut, false).Error, c.expected);
  }
}

}  // namespace
}  // namespace tarvo::testing
