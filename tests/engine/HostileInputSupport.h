// What the engine makes of a damaged file, and the check that it is sound: a message, or a
// trim that libjpeg-turbo reads back without a single warning.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "StreamError.h"

namespace tarvo::testing {

struct Outcome {
  bool trimmed = false;
  // Why the engine refused, when it did.
  EJpegError error = EJpegError::kNone;
  // The reports in order, then the text of a stream error if one was raised.
  std::vector<std::string> messages;
  Bytes output;
  TTrimRect rect{};
  std::string First() const { return messages.empty() ? "(no message)" : messages.front(); }
};

// Analyses file and trims the whole image; with a second rectangle, trims that as well from
// the decoded store (the outcome is then the second trim's).
inline Outcome TrimWholeImage(const Bytes& file, bool alsoLowerRight = false) {
  Outcome outcome;
  TJpegTrimming engine;
  engine.OnMessage = [&outcome](const std::string& text, int) { outcome.messages.push_back(text); };
  try {
    if (const TJpegStatus status = engine.AnalyzeBytes(file); !status) {
      outcome.error = status.Error;
      return outcome;
    }
    outcome.rect = {0, 0, engine.ImageWidth(), engine.ImageHeight()};
    TByteStream output;
    const TJpegStatus first = engine.Trim(output, outcome.rect, false);
    outcome.trimmed = static_cast<bool>(first);
    outcome.error = first.Error;
    if (outcome.trimmed && alsoLowerRight) {
      const int mcuWidth = engine.McuWidth();
      const int mcuHeight = engine.McuHeight();
      outcome.rect = {engine.ImageWidth() / 2 / mcuWidth * mcuWidth,
                      engine.ImageHeight() / 2 / mcuHeight * mcuHeight, engine.ImageWidth(),
                      engine.ImageHeight()};
      const TJpegStatus second = engine.Trim(output, outcome.rect, true);
      outcome.trimmed = static_cast<bool>(second);
      outcome.error = second.Error;
    }
    if (outcome.trimmed) outcome.output = BytesOf(output);
  } catch (const EStreamError& error) {
    outcome.trimmed = false;
    outcome.messages.emplace_back(error.what());
  }
  return outcome;
}

// A trim libjpeg reads with the declared size and no warning, or a refusal that says why.
inline void ExpectSound(const Outcome& outcome, const std::string& name) {
  if (!outcome.trimmed) {
    EXPECT_FALSE(outcome.messages.empty()) << name << ": refused without a message";
    return;
  }
  try {
    const fixtures::Coefficients read = fixtures::ReadCoefficients(outcome.output);
    EXPECT_EQ(read.warnings, 0) << name;
    EXPECT_EQ(read.width, outcome.rect.Right - outcome.rect.Left) << name;
    EXPECT_EQ(read.height, outcome.rect.Bottom - outcome.rect.Top) << name;
  } catch (const std::exception& error) {
    ADD_FAILURE() << name << ": the trim does not decode: " << error.what();
  }
}

// Where each header segment ends, from the end of SOI to the start of the scan.
inline std::vector<std::size_t> SegmentBoundaries(const Bytes& jpeg) {
  std::vector<std::size_t> boundaries = {2};
  for (const auto& segment : HeaderSegments(jpeg)) {
    boundaries.push_back(boundaries.back() + segment.second.size());
  }
  return boundaries;
}

// The position of the EOI that ends the coded data.
inline std::size_t ScanEnd(const Bytes& jpeg) {
  std::size_t pos = ScanStart(jpeg);
  while (!(jpeg[pos] == 0xFF && jpeg[pos + 1] == 0xD9)) ++pos;
  return pos;
}

// Three camera-like files: 4:2:0 with an Exif segment; 4:2:2 with restart markers and bytes
// after EOI; grey with a restart marker after every MCU. Without JFIF (jfif false) there is no
// APP0 whose version a changed byte could make libjpeg warn about.
inline std::vector<std::pair<std::string, Bytes>> HostileFixtures(bool jfif = true) {
  const auto options = [jfif](int width, int height, fixtures::Sampling sampling,
                              unsigned restartInterval) {
    fixtures::JpegOptions made;
    made.width = width;
    made.height = height;
    made.sampling = sampling;
    made.restartInterval = restartInterval;
    made.writeJfif = jfif;
    return made;
  };
  fixtures::JpegOptions exif = options(64, 48, fixtures::Sampling::k420, 0);
  exif.extraSegments.push_back(fixtures::MakeExifSegment(true, 64, 48, 3));
  Bytes trailing = fixtures::MakeJpeg(options(48, 32, fixtures::Sampling::k422, 2));
  trailing.insert(trailing.end(), {'t', 'a', 'i', 'l'});
  return {{"exif420", fixtures::MakeJpeg(exif)},
          {"restart422", trailing},
          {"grey", fixtures::MakeJpeg(options(40, 24, fixtures::Sampling::kGrey, 1))}};
}

}  // namespace tarvo::testing
