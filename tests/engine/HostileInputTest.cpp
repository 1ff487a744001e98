// Damaged and hostile files: every one ends in a message or in a trim that libjpeg-turbo reads
// without a warning. Never a crash, a hang or a broken output.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "HostileInputSupport.h"
#include "JpegFixtures.h"
#include "JpegModel.h"
#include "Messages.h"

namespace tarvo::testing {
namespace {

using fixtures::JpegOptions;
using fixtures::MakeJpeg;

Bytes Cut(const Bytes& file, std::size_t size) {
  return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes WithEoi(Bytes file) {
  file.insert(file.end(), kEoi.begin(), kEoi.end());
  return file;
}

Bytes Inserted(const Bytes& file, std::size_t at, const Bytes& bytes) {
  Bytes out = file;
  out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
  return out;
}

// Refusals of structures a decoder would reject or read differently from the engine. Each
// file is complete apart from its one fault.
struct HeaderFault {
  const char* name;
  Bytes file;
  EJpegError error;
};

std::vector<HeaderFault> HeaderFaults() {
  const Bytes grey = Sof0(8, 8, {{1, 0x11}});
  const Bytes tables = Dht({0x00, 0x10});
  const Bytes scan = Sos({{1, 0x00}});
  const Bytes blocks = {0x3F};  // one block: DC 0, EOB, fill bits
  const auto file = [&](std::initializer_list<Bytes> headers) {
    Bytes out = kSoi;
    for (const Bytes& header : headers) out.insert(out.end(), header.begin(), header.end());
    return Concat({out, blocks, kEoi});
  };
  const auto quant = [&](std::uint8_t precisionAndDestination, std::size_t entries) {
    Bytes body = {precisionAndDestination};
    body.resize(1 + entries, 1);
    return Segment(0xFFDB, body);
  };
  const Bytes threeComponents = Sof0(8, 8, {{1, 0x11}, {2, 0x11}, {3, 0x11}});
  Bytes dcSixteen = TinyTable(0x00);
  dcSixteen.back() = 16;
  Bytes twoOneBitCodes = {0x00, 2};  // "0" and "1": the all-ones code is taken
  twoOneBitCodes.resize(17, 0);
  twoOneBitCodes.insert(twoOneBitCodes.end(), {0, 1});
  return {
      {"DqtDestinationFour", file({quant(0x04, 64), grey, tables, scan}), EJpegError::kBadDqt},
      {"DqtPrecisionTwo", file({quant(0x20, 64), grey, tables, scan}), EJpegError::kBadDqt},
      {"DqtTableCutShort", file({quant(0x00, 63), grey, tables, scan}), EJpegError::kBadDqt},
      {"DqtSixteenBitTableCutShort", file({quant(0x10, 64), grey, tables, scan}),
       EJpegError::kBadDqt},
      {"QuantTableNeverDefined", file({grey, tables, scan}), EJpegError::kNoDqt},
      {"QuantTableOneNeverDefined",
       file({Dqt(), Segment(0xFFC0, {8, 0, 8, 0, 8, 1, 1, 0x11, 1}), tables, scan}),
       EJpegError::kNoDqt},
      {"QuantSelectorFour",
       file({Dqt(), Segment(0xFFC0, {8, 0, 8, 0, 8, 1, 1, 0x11, 4}), tables, scan}),
       EJpegError::kBadQuantSelector},
      {"PrecisionTwelve",
       file({Dqt(), Segment(0xFFC0, {12, 0, 8, 0, 8, 1, 1, 0x11, 0}), tables, scan}),
       EJpegError::kNotEightBit},
      {"WiderThan65500", file({Dqt(), Sof0(65501, 8, {{1, 0x11}}), tables, scan}),
       EJpegError::kTooLarge},
      {"TallerThan65500", file({Dqt(), Sof0(8, 65501, {{1, 0x11}}), tables, scan}),
       EJpegError::kTooLarge},
      {"ElevenBlocksPerMcu", file({Dqt(), Sof0(8, 8, {{1, 0x33}, {2, 0x11}, {3, 0x11}})}),
       EJpegError::kBadSampling},
      {"DifferentialFrame", file({Dqt(), Segment(0xFFC5, {8, 0, 8, 0, 8, 1, 1, 0x11, 0})}),
       EJpegError::kHierarchical},
      {"ScanOrderDiffersFromFrame",
       file({Dqt(), threeComponents, tables, Sos({{2, 0x00}, {1, 0x00}, {3, 0x00}})}),
       EJpegError::kBadSos},
      {"ScanComponentTwice",
       file({Dqt(), threeComponents, tables, Sos({{1, 0x00}, {1, 0x00}, {3, 0x00}})}),
       EJpegError::kBadSos},
      {"SpectralEndNot63", file({Dqt(), grey, tables, Segment(0xFFDA, {1, 1, 0x00, 0, 62, 0})}),
       EJpegError::kBadSos},
      {"SuccessiveApproximation",
       file({Dqt(), grey, tables, Segment(0xFFDA, {1, 1, 0x00, 0, 63, 0x10})}),
       EJpegError::kBadSos},
      // Standard tables stand in for destinations 0 and 1 only.
      {"ExtendedScanSelectsUndefinedTableTwo",
       file({Dqt(), Segment(0xFFC1, {8, 0, 8, 0, 8, 1, 1, 0x11, 0}), tables,
             Segment(0xFFDA, {1, 1, 0x22, 0, 63, 0})}),
       EJpegError::kNoDht},
      {"DcSymbolSixteen", file({Dqt(), grey, Segment(0xFFC4, dcSixteen)}), EJpegError::kBadDht},
      {"AllOnesCodeTaken", file({Dqt(), grey, Segment(0xFFC4, twoOneBitCodes)}),
       EJpegError::kBadDht},
  };
}

TEST(HostileHeaders, RefusedWithTheirMessage) {
  for (const HeaderFault& fault : HeaderFaults()) {
    const Outcome outcome = TrimWholeImage(fault.file);
    EXPECT_FALSE(outcome.trimmed) << fault.name;
    ASSERT_EQ(outcome.messages.size(), 1u) << fault.name << ": " << outcome.First();
    EXPECT_EQ(outcome.error, fault.error) << fault.name;
  }
}

// Lengths below 2 read as empty segments, as libjpeg reads them; the trim leaves them out.
TEST(HostileHeaders, AppAndCommentSegmentsTooShortForTheirLengthAreSkippedWithAWarning) {
  const Bytes clean = TinyGreyJpeg(16, 8);
  const Outcome reference = TrimWholeImage(clean);
  for (const auto& [segment, marker] : {std::pair{Bytes{0xFF, 0xE2, 0x00, 0x01}, "FFE2"},
                                        std::pair{Bytes{0xFF, 0xFE, 0x00, 0x00}, "FFFE"}}) {
    const Outcome outcome = TrimWholeImage(Inserted(clean, 2, segment));
    ASSERT_TRUE(outcome.trimmed) << marker << ": " << outcome.First();
    EXPECT_EQ(outcome.messages,
              std::vector<std::string>{FormatMessage(kMsgEmptySegmentSkipped, marker)});
    EXPECT_EQ(outcome.output, reference.output) << marker;
  }
}

TEST(HostileHeaders, FillBytesBeforeMarkersAreSkipped) {
  const Bytes clean = TinyGreyJpeg(16, 8);
  const Outcome reference = TrimWholeImage(clean);
  ASSERT_TRUE(reference.trimmed) << reference.First();
  Bytes filled = clean;
  // Before every header marker after SOI, and before EOI.
  // Before EOI, SOS (10 bytes for one component) and the first segment, from the back.
  for (std::size_t at : {ScanEnd(clean), ScanStart(clean) - 10, std::size_t{2}}) {
    filled = Inserted(filled, at, {0xFF, 0xFF, 0xFF});
  }
  const Outcome outcome = TrimWholeImage(filled);
  ASSERT_TRUE(outcome.trimmed) << outcome.First();
  // The fill bytes are not copied.
  EXPECT_EQ(outcome.output, reference.output);
}

// What may follow the coded data: exact outcomes.
TEST(HostileTail, WhatFollowsTheCodedData) {
  const Bytes clean = TinyGreyJpeg(16, 8);
  const std::size_t end = ScanEnd(clean);
  const Bytes coded = Cut(clean, end);
  const Outcome reference = TrimWholeImage(clean);
  ASSERT_TRUE(reference.trimmed);
  const Bytes comment = Segment(0xFFFE, {'h', 'i'});
  struct Case {
    const char* name;
    Bytes file;
    EJpegError error;  // kNone: trimmed
    Bytes output;      // what the trim must be, when it is known
  };
  const std::vector<Case> cases = {
      {"NoEoi", coded, EJpegError::kNone, reference.output},
      {"ExtraneousBytesBeforeEoi", Concat({coded, {0x12, 0x34, 0x00}, kEoi}), EJpegError::kNone,
       reference.output},
      {"StrayRestartMarkerBeforeEoi", Concat({coded, {0xFF, 0xD0}, kEoi}), EJpegError::kNone,
       reference.output},
      {"FillBytesBeforeEoi", Concat({coded, {0xFF, 0xFF}, kEoi}), EJpegError::kNone,
       reference.output},
      {"CommentBeforeEoi", Concat({coded, comment, kEoi}), EJpegError::kNone,
       Concat({Cut(reference.output, reference.output.size() - 2), comment, kEoi})},
      {"CommentAndNoEoi", Concat({coded, comment}), EJpegError::kNone, {}},
      {"BytesAfterEoi", Concat({clean, {1, 2, 3}}), EJpegError::kNone,
       Concat({reference.output, {1, 2, 3}})},
      {"SecondScan", Concat({coded, Sos({{1, 0x00}}), {0x3F}, kEoi}), EJpegError::kBadTail, {}},
      {"TableAfterScan", Concat({coded, Dht({0x00}), kEoi}), EJpegError::kBadTail, {}},
      {"FrameAfterScan", Concat({coded, Sof0(8, 8, {{1, 0x11}}), kEoi}), EJpegError::kBadTail, {}},
      // Read past as libjpeg reads it, with a warning.
      {"GarbageAfterComment", Concat({coded, comment, {0x12}, kEoi}), EJpegError::kNone,
       Concat({Cut(reference.output, reference.output.size() - 2), comment, kEoi})},
      {"GarbageAtTheEnd", Concat({coded, comment, {0x12}}), EJpegError::kBadTail, {}},
      {"CommentPastEnd",
       Concat({coded, {0xFF, 0xFE, 0x00, 0x40}}),
       EJpegError::kBadSegmentLength,
       {}},
  };
  for (const Case& c : cases) {
    const Outcome outcome = TrimWholeImage(c.file);
    ExpectSound(outcome, c.name);
    if (c.error == EJpegError::kNone) {
      EXPECT_TRUE(outcome.trimmed) << c.name << ": " << outcome.First();
      if (!c.output.empty()) {
        EXPECT_EQ(outcome.output, c.output) << c.name;
      }
    } else {
      EXPECT_FALSE(outcome.trimmed) << c.name;
      EXPECT_EQ(outcome.error, c.error) << c.name;
    }
  }
}

// Damage inside the coded data: exact outcomes on a file with restart markers.
// Each scan here is one byte, but decoding it walks every block of the picture: the count is
// what bounds the time a hostile file can take.
TEST(HostileScan, AtMostFiveHundredScansAreRead) {
  const Bytes dcFirst = Concat({Segment(0xFFDA, {1, 1, 0x00, 0, 0, 0x01}), {0x7F}});
  const Bytes dcRefinement = Concat({Segment(0xFFDA, {1, 1, 0x00, 0, 0, 0x10}), {0x7F}});
  const auto progressive = [&](std::size_t scans) {
    Bytes file = Concat(
        {kSoi, Dqt(), Segment(0xFFC2, {8, 0, 8, 0, 8, 1, 1, 0x11, 0}), Dht({0x00}), dcFirst});
    for (std::size_t i = 1; i < scans; ++i) file = Concat({file, dcRefinement});
    return Concat({file, kEoi});
  };
  EXPECT_TRUE(TrimWholeImage(progressive(kMaxScans)).trimmed);
  const Outcome outcome = TrimWholeImage(progressive(kMaxScans + 1));
  EXPECT_FALSE(outcome.trimmed);
  EXPECT_EQ(outcome.error, EJpegError::kTooManyScans);
}

TEST(HostileScan, MarkersAndRestartsInsideTheData) {
  JpegOptions options;
  options.width = 64;
  options.height = 32;
  options.restartInterval = 2;
  const Bytes clean = MakeJpeg(options);
  const Outcome reference = TrimWholeImage(clean);
  ASSERT_TRUE(reference.trimmed);
  std::size_t firstRestart = ScanStart(clean);
  while (!(clean[firstRestart] == 0xFF && clean[firstRestart + 1] == 0xD0)) ++firstRestart;

  Bytes misnumbered = clean;
  misnumbered[firstRestart + 1] = 0xD1;
  Bytes lost = clean;
  lost.erase(lost.begin() + static_cast<std::ptrdiff_t>(firstRestart),
             lost.begin() + static_cast<std::ptrdiff_t>(firstRestart + 2));
  Bytes markerInData = clean;
  markerInData[ScanStart(clean) + 5] = 0xFF;
  markerInData[ScanStart(clean) + 6] = 0xC4;
  Bytes huge = clean;  // the interval word of DRI: more MCUs than the image has
  for (std::size_t pos = 2; pos + 5 < huge.size(); ++pos) {
    if (huge[pos] == 0xFF && huge[pos + 1] == 0xDD) {
      huge[pos + 4] = 0xFF;
      huge[pos + 5] = 0xFF;
      break;
    }
  }
  struct Case {
    const char* name;
    Bytes file;
    EJpegError error;  // kNone: trimmed, with the clean file's output
  };
  const std::vector<Case> cases = {
      {"RestartMarkerMisnumbered", misnumbered, EJpegError::kBitStream},
      {"RestartMarkerLost", lost, EJpegError::kBitStream},
      {"FillBytesBeforeRestartMarker", Inserted(clean, firstRestart, {0xFF, 0xFF}),
       EJpegError::kNone},
      {"MarkerInsideAnInterval", markerInData, EJpegError::kBitStream},
      // Every restart marker then stands where no interval ends: the one interval is damaged.
      {"RestartIntervalLargerThanTheImage", huge, EJpegError::kDamagedRegion},
  };
  for (const Case& c : cases) {
    const Outcome outcome = TrimWholeImage(c.file);
    ExpectSound(outcome, c.name);
    if (c.error == EJpegError::kNone) {
      ASSERT_TRUE(outcome.trimmed) << c.name << ": " << outcome.First();
      EXPECT_EQ(outcome.output, reference.output) << c.name;
    } else {
      EXPECT_FALSE(outcome.trimmed) << c.name;
      // One report: the decoder stops at the first fault.
      EXPECT_EQ(outcome.messages.size(), 1u) << c.name;
      EXPECT_EQ(outcome.error, c.error) << c.name;
    }
  }
}

// Every segment boundary, the middle of every segment, and points inside the scan, with and
// without an EOI after the cut.
TEST(HostileTruncation, EveryBoundaryAndInsideTheScan) {
  for (const auto& [name, file] : HostileFixtures()) {
    const std::size_t scanStart = ScanStart(file);
    const std::size_t scanEnd = ScanEnd(file);
    const std::vector<std::size_t> boundaries = SegmentBoundaries(file);
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
      const std::size_t at = boundaries[i];
      const std::string label = name + " cut at " + std::to_string(at);
      const Outcome outcome = TrimWholeImage(Cut(file, at));
      EXPECT_FALSE(outcome.trimmed) << label;
      // Cut after a whole segment: the next marker is missing; after SOS, the scan.
      if (at == scanStart) {
        EXPECT_EQ(outcome.error, EJpegError::kScanTooShort) << label;
      } else {
        EXPECT_EQ(outcome.First(), kMsgStreamReadError) << label;
      }
      if (i + 1 < boundaries.size()) {
        const std::size_t middle = at + 4 + (boundaries[i + 1] - at - 4) / 2;
        const Outcome inside = TrimWholeImage(Cut(file, middle));
        EXPECT_FALSE(inside.trimmed) << name << " cut inside the segment at " << middle;
        EXPECT_EQ(inside.error, EJpegError::kBadSegmentLength) << name << " cut at " << middle;
      }
    }
    for (int eighth = 1; eighth <= 8; ++eighth) {
      const std::size_t at = scanStart + (scanEnd - scanStart) * eighth / 8 - (eighth == 8);
      const std::string label = name + " scan cut at " + std::to_string(at);
      // Cut off, with or without an EOI after the cut: said so, never a bare stream error. A
      // trim of the whole picture reaches past the rows that arrived, when any did.
      for (const Bytes& cut : {Cut(file, at), WithEoi(Cut(file, at))}) {
        const Outcome outcome = TrimWholeImage(cut);
        EXPECT_FALSE(outcome.trimmed) << label;
        ASSERT_FALSE(outcome.messages.empty()) << label;
        EXPECT_TRUE(outcome.error == EJpegError::kScanTooShort ||
                    outcome.error == EJpegError::kBeyondCutOff)
            << label << ": " << outcome.messages.back();
      }
    }
    // Only EOI missing: the image is whole, and the trim gets an EOI of its own.
    const Outcome noEoi = TrimWholeImage(Cut(file, scanEnd));
    ExpectSound(noEoi, name + " without EOI");
    EXPECT_TRUE(noEoi.trimmed) << name << ": " << noEoi.First();
  }
}

// Single bytes changed all through the headers and at many places in the scan: whatever the
// change, a message or a clean trim, also for a second trim from the decoded store. The body
// of APP0 is left alone: it is copied as it stands, and libjpeg warns about an odd JFIF
// version in the source as much as in the trim.
TEST(HostileFlips, HeaderAndScanBytes) {
  std::mt19937 random(6);
  for (const auto& [name, file] : HostileFixtures()) {
    const std::size_t scanStart = ScanStart(file);
    std::vector<bool> jfifBody(file.size(), false);
    std::size_t segmentStart = 2;
    for (const auto& [marker, segment] : HeaderSegments(file)) {
      for (std::size_t k = 4; marker == 0xFFE0 && k < segment.size(); ++k) {
        jfifBody[segmentStart + k] = true;
      }
      segmentStart += segment.size();
    }
    std::vector<std::size_t> positions;
    for (std::size_t at = 0; at < scanStart; ++at) {
      if (!jfifBody[at]) positions.push_back(at);
    }
    for (std::size_t at = scanStart; at < file.size(); at += 3) positions.push_back(at);
    for (const std::size_t at : positions) {
      for (const std::uint8_t change : {std::uint8_t{0xFF}, std::uint8_t(1 + random() % 255)}) {
        Bytes flipped = file;
        flipped[at] ^= change;
        ExpectSound(TrimWholeImage(flipped, true),
                    name + " byte " + std::to_string(at) + " ^ " + std::to_string(change));
      }
    }
  }
}

}  // namespace
}  // namespace tarvo::testing
