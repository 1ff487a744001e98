// Lossless turns, alone, followed by a crop and in sequences with trims, checked against jpegtran
// doing the same (a turn and its crop in one run, a sequence one file at a time): equal pixels
// and equal quantised coefficients.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "JpegtranOracle.h"
#include "OrientedTrim.h"

namespace tarvo::testing {
namespace {

using fixtures::JpegOptions;
using fixtures::Sampling;

struct Step {
  const char* jpegtran;  // the option(s) jpegtran takes for this step
  TOrientation turn;     // for a turn
  TTrimRect rect;        // for a trim: Left, Top, width, height in the picture so far
};

Step Turn(const char* option, TOrientation turn) { return {option, turn, {}}; }
Step Crop(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  return {nullptr, kAsStored, {left, top, width, height}};
}

const std::vector<Step> kTurns = {Turn("-flip horizontal", kMirrorHorizontal),
                                  Turn("-flip vertical", kMirrorVertical),
                                  Turn("-transpose", kTransposed),
                                  Turn("-transverse", kTransverse),
                                  Turn("-rotate 90", kRotate90),
                                  Turn("-rotate 180", kRotate180),
                                  Turn("-rotate 270", kRotate270)};

// jpegtran doing steps in one run: a turn trims its partial edge MCUs, a crop takes the
// rectangle of the picture turned so far.
class Jpegtran {
 public:
  Bytes Run(const Bytes& jpeg, const std::vector<Step>& steps) {
    std::string options = "-copy all";
    for (const Step& step : steps) {
      if (step.jpegtran != nullptr) {
        options += std::string(" ") + step.jpegtran + " -trim";
      } else {
        const TTrimRect& r = step.rect;
        options += " -crop " + std::to_string(r.Right) + "x" + std::to_string(r.Bottom) + "+" +
                   std::to_string(r.Left) + "+" + std::to_string(r.Top);
      }
    }
    return runner_.Run(jpeg, options);
  }

 private:
  JpegtranRunner runner_;
};

// Applies steps with the engine's composition and writes the result once.
Bytes Compose(TJpegTrimming& engine, const std::vector<Step>& steps) {
  const TMcuGrid grid = engine.Grid();
  TOrientedTrim cut = WholePicture(grid, engine.ExifOrientation());
  for (const Step& step : steps) {
    TTurnLoss loss;
    const TTrimRect& r = step.rect;
    cut = step.jpegtran != nullptr
              ? Turned(cut, step.turn, grid, loss)
              : Trimmed(cut, {r.Left, r.Top, r.Left + r.Right, r.Top + r.Bottom}, grid);
  }
  TByteStream output;
  if (!engine.TrimCut(output, cut, false)) throw std::runtime_error("trim refused");
  return BytesOf(output);
}

struct Source {
  const char* name;
  Sampling sampling;
  int width, height;
  unsigned restartInterval;
  bool progressive;
  // Tables fitted to the source lack symbols its turned blocks need: the turn codes with
  // tables of its own.
  bool optimised = false;
};

const Source kSources[] = {
    {"Grey", Sampling::kGrey, 107, 77, 0, false},
    {"S420", Sampling::k420, 107, 77, 0, false},
    {"S420WholeRestart", Sampling::k420, 96, 64, 3, false},
    {"S422Restart", Sampling::k422, 107, 77, 2, false},
    {"S440", Sampling::k440, 107, 77, 0, false},
    {"S444Whole", Sampling::k444, 104, 72, 0, false},
    {"S444", Sampling::k444, 107, 77, 0, false},
    {"S420Progressive", Sampling::k420, 107, 77, 0, true},
    {"S422Optimised", Sampling::k422, 107, 77, 0, false, true},
};

class TurnOracle : public ::testing::TestWithParam<Source> {
 protected:
  Bytes MakeSource() const {
    JpegOptions options;
    options.width = GetParam().width;
    options.height = GetParam().height;
    options.sampling = GetParam().sampling;
    options.restartInterval = GetParam().restartInterval;
    options.progressive = GetParam().progressive;
    options.optimizeCoding = GetParam().optimised;
    options.quality = 80;
    return fixtures::MakeJpeg(options);
  }
  Jpegtran jpegtran_;
};

TEST_P(TurnOracle, EveryTurnAloneAndFollowedByACropIsJpegtrans) {
  const Bytes source = MakeSource();
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  for (const Step& turn : kTurns) {
    SCOPED_TRACE(turn.jpegtran);
    ExpectSameJpeg(Compose(engine, {turn}), jpegtran_.Run(source, {turn}));
    // An offset off the grid and a far edge inside an MCU, cut in the same run as the turn.
    const Step crop = Crop(19, 21, 40, 29);
    ExpectSameJpeg(Compose(engine, {turn, crop}), jpegtran_.Run(source, {turn, crop}));
  }
}

TEST_P(TurnOracle, SequencesOfTrimsAndTurnsAreJpegtransStepByStep) {
  const std::vector<std::vector<Step>> sequences = {
      {Crop(5, 3, 85, 55), kTurns[0], Crop(9, 17, 50, 30), kTurns[4]},
      {kTurns[4], Crop(20, 20, 40, 70), kTurns[3], kTurns[1], Crop(3, 5, 25, 20)},
      {Crop(17, 9, 77, 53), kTurns[6], kTurns[6], Crop(1, 1, 50, 45), kTurns[2]},
  };
  const Bytes source = MakeSource();
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(source));
  for (std::size_t i = 0; i < sequences.size(); ++i) {
    SCOPED_TRACE(i);
    Bytes reference = source;
    for (const Step& step : sequences[i]) reference = jpegtran_.Run(reference, {step});
    ExpectSameJpeg(Compose(engine, sequences[i]), reference);
  }
}

// Coding a scan in parts on several threads gives the bytes of coding it in one: at sizes that
// are not whole MCUs, with restart intervals that a part boundary must meet (or that leave no
// boundary to meet), with parts of one MCU row and more parts asked for than there are rows, and
// where the source's tables fail a part and the window is coded again with fitted tables.
TEST(CodingInParts, GivesTheBytesOfOnePart) {
  struct Case {
    const char* name;
    Sampling sampling;
    int width, height;
    unsigned restartInterval;
    bool optimised;
  };
  const Case cases[] = {
      {"Grey", Sampling::kGrey, 107, 77, 0, false},
      {"S420", Sampling::k420, 107, 77, 0, false},
      {"S420TwoRows", Sampling::k420, 107, 32, 0, false},
      {"S422Restart2", Sampling::k422, 107, 77, 2, false},
      // 7 MCUs a row: only every fifth row starts an interval.
      {"S420Restart5", Sampling::k420, 107, 160, 5, false},
      // 8 MCUs a row and 4 rows: no row but the first starts an interval.
      {"S444Restart5NoBoundary", Sampling::k444, 61, 32, 5, false},
      {"S422Optimised", Sampling::k422, 107, 77, 0, true},
  };
  const std::vector<Step> steps[] = {
      {}, {Crop(19, 5, 40, 20)}, {kTurns[4]}, {kTurns[3], Crop(8, 0, 20, 33)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JpegOptions options;
    options.width = c.width;
    options.height = c.height;
    options.sampling = c.sampling;
    options.restartInterval = c.restartInterval;
    options.optimizeCoding = c.optimised;
    const Bytes source = fixtures::MakeJpeg(options);
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(source));
    for (std::size_t i = 0; i < std::size(steps); ++i) {
      SCOPED_TRACE(i);
      engine.CodingThreads = 1;
      const Bytes whole = Compose(engine, steps[i]);
      for (const int threads : {2, 3, 40}) {
        engine.CodingThreads = threads;
        EXPECT_EQ(Compose(engine, steps[i]), whole) << threads << " threads";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, TurnOracle, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo::testing
