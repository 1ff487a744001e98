// Analysis of the marker structure: what is accepted, and every refusal with its text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "EngineTestSupport.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "Messages.h"

namespace tarvo::testing {
namespace {

using fixtures::JpegOptions;
using fixtures::MakeJpeg;
using fixtures::Sampling;

struct Geometry {
  Sampling sampling;
  int mcuWidth, mcuHeight, components;
};

class AnalysisGeometry : public ::testing::TestWithParam<Geometry> {};

TEST_P(AnalysisGeometry, ReportsSizeAndMcu) {
  JpegOptions options;
  options.width = 70;
  options.height = 35;
  options.sampling = GetParam().sampling;
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(MakeJpeg(options)));
  EXPECT_TRUE(log.messages.empty());
  EXPECT_EQ(engine.ImageWidth(), 70);
  EXPECT_EQ(engine.ImageHeight(), 35);
  EXPECT_EQ(engine.McuWidth(), GetParam().mcuWidth);
  EXPECT_EQ(engine.McuHeight(), GetParam().mcuHeight);
  EXPECT_EQ(engine.ComponentCount(), GetParam().components);
  EXPECT_EQ(engine.RestartInterval(), 0);
  EXPECT_FALSE(engine.DecodedValid());
}

INSTANTIATE_TEST_SUITE_P(Samplings, AnalysisGeometry,
                         ::testing::Values(Geometry{Sampling::kGrey, 8, 8, 1},
                                           Geometry{Sampling::k420, 16, 16, 3},
                                           Geometry{Sampling::k422, 16, 8, 3},
                                           Geometry{Sampling::k444, 8, 8, 3},
                                           Geometry{Sampling::k440, 8, 16, 3}));

TEST(Analysis, RestartIntervalIsReported) {
  for (const unsigned interval : {1u, 5u, 700u}) {
    JpegOptions options;
    options.restartInterval = interval;
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(MakeJpeg(options)));
    EXPECT_EQ(engine.RestartInterval(), static_cast<int>(interval));
  }
  // An interval of 0 leaves restart handling off.
  const Bytes file = Concat({kSoi,
                             Segment(0xFFDD, {0, 0}),
                             Dqt(),
                             Sof0(8, 8, {{1, 0x11}}),
                             Dht({0x00, 0x10}),
                             Sos({{1, 0x00}}),
                             {0x3F},
                             kEoi});
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(file));
  EXPECT_EQ(engine.RestartInterval(), 0);
}

TEST(Analysis, SkipsApplicationSegmentsAndComments) {
  JpegOptions options;
  options.writeAdobe = true;
  options.zeroBasedIds = true;  // identifiers 0, 1, 2, as some encoders with an Adobe segment
  options.extraSegments = {fixtures::MakeExifSegment(true, 64, 48),
                           Segment(0xFFE1, {'h', 't', 't', 'p', ':', '/', '/', 0}),
                           Segment(0xFFED, Bytes(300, 0x38)), Segment(0xFFFE, {'h', 'i'}),
                           Segment(0xFFE2, {})};
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  ASSERT_TRUE(engine.AnalyzeBytes(MakeJpeg(options))) << log.Only();
  EXPECT_EQ(engine.ComponentCount(), 3);
  EXPECT_EQ(engine.MaxHSampling(), 2);
}

TEST(Analysis, DhtWithFourTables) {
  const Bytes file = Concat({kSoi,
                             Dqt(),
                             Sof0(8, 8, {{1, 0x11}}),
                             Dht({0x00, 0x01, 0x10, 0x11}),
                             Sos({{1, 0x11}}),
                             {0x3F},
                             kEoi});
  TJpegTrimming engine;
  MessageLog log;
  log.Attach(engine);
  EXPECT_TRUE(engine.AnalyzeBytes(file)) << log.Only();
}

TEST(Analysis, GreyFrameWithLargeSamplingFactorsUsesSingleBlockMcus) {
  // A one-component scan is never interleaved: its MCU is one block whatever H and V say.
  const Bytes file = Concat(
      {kSoi, Dqt(), Sof0(16, 16, {{1, 0x22}}), Dht({0x00, 0x10}), Sos({{1, 0x00}}), {0x00}, kEoi});
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(file));
  EXPECT_EQ(engine.MaxHSampling(), 1);
  EXPECT_EQ(engine.MaxVSampling(), 1);
}

struct Refusal {
  const char* name;
  Bytes file;
  TJpegStatus expected;
};

TJpegStatus Unknown(std::uint16_t marker) { return {EJpegError::kUnknownMarker, marker}; }

Bytes Headed(std::initializer_list<Bytes> segments) {
  Bytes out = kSoi;
  for (const Bytes& segment : segments) out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), {0x3F, 0x3F, 0xFF, 0xD9});
  return out;
}

Bytes DhtBody(const Bytes& body) { return Segment(0xFFC4, body); }

std::vector<Refusal> Refusals() {
  const Bytes grey = Sof0(8, 8, {{1, 0x11}});
  const Bytes tables = Dht({0x00, 0x10});
  const Bytes scan = Sos({{1, 0x00}});
  Bytes tooManyCodes = {0x10};
  for (int i = 0; i < 16; ++i) tooManyCodes.push_back(i < 8 ? 0 : 40);
  tooManyCodes.resize(tooManyCodes.size() + 320, 0x01);
  Bytes overfull = {0x00, 3};
  overfull.resize(17, 0);
  overfull.insert(overfull.end(), {0, 1, 2});
  Bytes shortTable = TinyTable(0x00);
  shortTable.pop_back();
  Bytes longTable = TinyTable(0x00);
  longTable.push_back(0x07);
  return {
      {"NotJpeg", {0xFF, 0xD9, 0xFF, 0xD8}, EJpegError::kNoSoi},
      // Conditioning tables: class 2 does not exist, and L may not exceed U.
      {"DacClassTwo", Headed({Segment(0xFFCC, {0x20, 0x10})}), EJpegError::kBadDac},
      {"DacLowerAboveUpper", Headed({Segment(0xFFCC, {0x01, 0x12})}), EJpegError::kBadDac},
      {"DacOddLength", Headed({Segment(0xFFCC, {0x10})}), EJpegError::kBadDac},
      {"TwelveBitSamples", Headed({Segment(0xFFC1, {12, 0, 8, 0, 8, 1, 1, 0x11, 0})}),
       EJpegError::kNotEightBit},
      {"Lossless", Headed({Segment(0xFFC3, {8, 0, 8, 0, 8, 1, 1, 0x11, 0})}),
       EJpegError::kLossless},
      {"Hierarchical", Headed({Segment(0xFFDE, {8, 0, 8, 0, 8, 1, 1, 0x11, 0})}),
       EJpegError::kHierarchical},
      // Parsed like baseline, it runs past the junk after it (skipped, as libjpeg skips it) into
      // an EOI before any scan.
      {"ExtendedSequential", Headed({Segment(0xFFC1, {8, 0, 8, 0, 8, 1, 1, 0x11, 0})}),
       Unknown(0xFFD9)},
      // Fill bytes before a marker are skipped: the walk gets past the frame and the junk.
      {"FillBytesBeforeMarker", Headed({{0xFF, 0xFF}, grey}), Unknown(0xFFD9)},
      // A skipped byte is told only when the file is read on: a refusal says enough.
      {"JunkBeforeRefusedSegment", Headed({{0x00}, DhtBody(TinyTable(0x20))}), EJpegError::kBadDht},
      {"EoiBeforeSos", Headed({grey, kEoi}), Unknown(0xFFD9)},
      {"DhtClassTwo", Headed({grey, DhtBody(TinyTable(0x20))}), EJpegError::kBadDht},
      {"DhtDestinationTwo", Headed({grey, DhtBody(TinyTable(0x02))}), EJpegError::kBadDht},
      {"DhtLengthShort", Headed({grey, DhtBody(shortTable)}), EJpegError::kBadDht},
      {"DhtLengthLong", Headed({grey, DhtBody(longTable)}), EJpegError::kBadDht},
      {"DhtOverfullCodes", Headed({grey, DhtBody(overfull)}), EJpegError::kBadDht},
      {"DhtMoreThan256Codes", Headed({grey, DhtBody(tooManyCodes)}), EJpegError::kBadDht},
      {"DuplicateComponentId", Headed({Sof0(8, 8, {{1, 0x11}, {1, 0x11}})}),
       EJpegError::kDuplicateComponentId},
      {"Sof0LengthDisagrees", Headed({Segment(0xFFC0, {8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0})}),
       EJpegError::kBadFrame},
      {"ZeroComponents", Headed({Sof0(8, 8, {})}), EJpegError::kComponentCount},
      {"FiveComponents",
       Headed({Sof0(8, 8, {{0, 0x11}, {1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}})}),
       EJpegError::kComponentCount},
      {"ZeroWidth", Headed({Sof0(0, 8, {{1, 0x11}})}), EJpegError::kZeroSize},
      {"ZeroHeight", Headed({Sof0(8, 0, {{1, 0x11}})}), EJpegError::kZeroSize},
      {"SamplingZero", Headed({Sof0(8, 8, {{1, 0x10}, {2, 0x11}})}), EJpegError::kBadSampling},
      {"SamplingFive", Headed({Sof0(8, 8, {{1, 0x51}, {2, 0x11}})}), EJpegError::kBadSampling},
      {"SecondFrame", Headed({grey, grey}), EJpegError::kSecondFrame},
      {"SosBeforeFrame", Headed({tables, scan}), EJpegError::kBadSos},
      {"SosNamesMissingComponent", Headed({grey, tables, Sos({{2, 0x00}})}), EJpegError::kBadSos},
      {"SosSelectorTwo", Headed({grey, tables, Sos({{1, 0x20}})}), EJpegError::kBadSos},
      {"SosLengthDisagrees", Headed({grey, tables, Segment(0xFFDA, {1, 1, 0, 0, 63, 0, 0})}),
       EJpegError::kBadSos},
      // A progressive frame may leave a component to no scan, but the trim still needs its table.
      {"UncodedComponentsTableNeverDefined",
       Headed({Dqt(), Segment(0xFFC2, {8, 0, 8, 0, 8, 2, 1, 0x11, 0, 2, 0x11, 1}), tables,
               Segment(0xFFDA, {1, 1, 0x00, 0, 0, 0})}),
       EJpegError::kNoFrameDqt},
      {"ScansLeaveComponentsOut",
       Headed({Dqt(), Sof0(8, 8, {{1, 0x11}, {2, 0x11}, {3, 0x11}}), tables, scan}),
       EJpegError::kComponentNotCoded},
      {"SegmentPastEnd", Headed({grey, Segment(0xFFE1, Bytes(10, 0)), {0xFF, 0xE2, 0x40, 0x00}}),
       EJpegError::kBadSegmentLength},
      {"DqtPastEnd", Headed({{0xFF, 0xDB, 0x10, 0x00}}), EJpegError::kBadSegmentLength},
      {"DriWrongLength", Headed({Segment(0xFFDD, {0, 1, 0})}), EJpegError::kBadSegmentLength},
      {"ScanTooShortForFrame",
       Headed({Dqt(), Sof0(65500, 65500, {{1, 0x22}, {2, 0x11}, {3, 0x11}}), Dht({0x00, 0x10}),
               Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}})}),
       EJpegError::kScanTooShort},
  };
}

TEST(Analysis, RefusesWithItsReason) {
  for (const Refusal& refusal : Refusals()) {
    TJpegTrimming engine;
    MessageLog log;
    log.Attach(engine);
    const TJpegStatus status = engine.AnalyzeBytes(refusal.file);
    EXPECT_EQ(status.Error, refusal.expected.Error) << refusal.name;
    EXPECT_EQ(status.Marker, refusal.expected.Marker) << refusal.name;
    // Reported once, in the words of its error.
    EXPECT_EQ(log.Only(), MessageText(status)) << refusal.name;
    // The bytes are kept whatever the verdict.
    EXPECT_EQ(engine.SourceStream().Size(), static_cast<std::int64_t>(refusal.file.size()))
        << refusal.name;
  }
}

TEST(Analysis, RefusedFilesAreRefusedByTrimToo) {
  for (const Refusal& refusal : Refusals()) {
    TJpegTrimming engine;
    MessageLog log;
    log.Attach(engine);
    engine.AnalyzeBytes(refusal.file);
    log.messages.clear();
    TByteStream output;
    try {
      EXPECT_FALSE(engine.Trim(output, {0, 0, 8, 8}, false)) << refusal.name;
      EXPECT_EQ(log.messages.size(), 1u) << refusal.name;
    } catch (const EStreamError&) {
      ADD_FAILURE() << refusal.name << " raised";
    }
  }
}

// The words differ where a trim meets a file its analysis refused; an unknown marker is named.
TEST(Analysis, ErrorsReadAsTheirMessages) {
  struct TCase {
    TJpegStatus status;
    bool trimWording;
    std::string text;
  };
  const TCase cases[] = {
      {EJpegError::kNoSoi, false, std::string(kMsgNoSoi)},
      {EJpegError::kNoSoi, true, std::string(kMsgTrimNoSoi)},
      {Unknown(0xFFD9), false, "ヘッダ($FFD9)を認識できませんでした。"},
      {Unknown(0x3F3F), true, "致命的エラー : ヘッダ($3F3F)を認識できません"},
      {EJpegError::kHuffmanBlock, true, std::string(kMsgHuffmanBlock)},
      {EJpegError::kBadFrame, false, std::string(kMsgBadSof0)},
  };
  for (const TCase& c : cases) EXPECT_EQ(MessageText(c.status, c.trimWording), c.text);
  TJpegStatus beyond = EJpegError::kBeyondCutOff;
  beyond.Rows = 48;
  EXPECT_EQ(MessageText(beyond),
            "ファイルが途中で切れているため、トリミングできるのは上から48行目までです。");
  const std::pair<TJpegWarning, std::string> warnings[] = {
      {{EJpegWarning::kExtraneousBytes, 3}, "3バイトの余分なデータを読み飛ばしました。"},
      {{EJpegWarning::kEmptySegment, 0, 0xFFFE},
       "長さが正しくないセグメント($FFFE)を読み飛ばしました。"},
      {{EJpegWarning::kCutOff, 32, 0, 131},
       "ファイルが途中で切れています。トリミングできるのは全131行のうち上から32行までです。"},
  };
  for (const auto& [warning, text] : warnings) EXPECT_EQ(MessageText(warning), text);
}

TEST(Analysis, StreamErrorsPassThrough) {
  for (const Bytes& file : {Bytes{}, Bytes{0xFF, 0xD8}, Concat({kSoi, Dqt()}), Bytes{0xFF}}) {
    TJpegTrimming engine;
    MessageLog log;
    log.Attach(engine);
    try {
      engine.AnalyzeBytes(file);
      ADD_FAILURE() << "no exception for " << file.size() << " bytes";
    } catch (const EStreamError& error) {
      EXPECT_EQ(std::string(error.what()), kMsgStreamReadError);
    }
    EXPECT_TRUE(log.messages.empty());
  }
}

TEST(Analysis, FileThatCannotBeOpenedRaisesWithItsName) {
  TJpegTrimming engine;
  try {
    engine.AnalyzeFile("/nonexistent/photo.jpg");
    FAIL() << "no exception";
  } catch (const EStreamError& error) {
    EXPECT_EQ(
        std::string(error.what()),
        FormatMessage(kMsgCannotOpenFile, "/nonexistent/photo.jpg") + ": " + std::strerror(ENOENT));
  }
}

TEST(Analysis, AnotherFileClearsTheDecodedStore) {
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(TinyGreyJpeg()));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {0, 0, 8, 8}, false));
  EXPECT_TRUE(engine.DecodedValid());
  EXPECT_FALSE(engine.AnalyzeBytes(Bytes{0xFF, 0xD9}));
  EXPECT_FALSE(engine.DecodedValid());
}

}  // namespace
}  // namespace tarvo::testing
