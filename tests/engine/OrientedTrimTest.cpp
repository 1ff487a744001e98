// The arithmetic of orientations and of composed cuts, and the Exif Orientation a cut carries.
#include <gtest/gtest.h>

#include <array>

#include "EngineTestSupport.h"
#include "ExifOrientation.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "OrientedTrim.h"

namespace tarvo::testing {
namespace {

constexpr std::array<TOrientation, 8> kAll = {kAsStored,       kMirrorHorizontal, kRotate180,
                                              kMirrorVertical, kTransposed,       kRotate90,
                                              kTransverse,     kRotate270};

TEST(Orientation, ComposesInvertsAndNamesItsExifValue) {
  const TTrimRect rect{1, 2, 4, 3};  // in a 5 x 3 picture
  for (std::size_t i = 0; i < kAll.size(); ++i) {
    const TOrientation a = kAll[i];
    EXPECT_EQ(a.ExifValue(), static_cast<int>(i) + 1);
    EXPECT_EQ(TOrientation::FromExif(a.ExifValue()), a);
    EXPECT_TRUE(a.Then(a.Inverse()).IsIdentity());
    const TTrimRect once = a.Map(rect, 5, 3);
    for (const TOrientation b : kAll) {
      EXPECT_TRUE(a.Then(b).Map(rect, 5, 3) ==
                  b.Map(once, a.Transpose ? 3 : 5, a.Transpose ? 5 : 3));
    }
  }
  for (const int invalid : {0, 9, 65535}) EXPECT_TRUE(TOrientation::FromExif(invalid).IsIdentity());
  // Turned clockwise, the stored top-left pixel of a 5 x 3 picture is shown top right.
  EXPECT_TRUE(kRotate90.Map({0, 0, 1, 1}, 5, 3) == (TTrimRect{2, 0, 3, 1}));
  EXPECT_TRUE(kRotate270.Map({0, 0, 1, 1}, 5, 3) == (TTrimRect{0, 4, 1, 5}));
}

TEST(OrientedTrim, TurnsCutOffPartialMcusThatWouldLeadAndFollowTheTag) {
  const TMcuGrid grid{16, 16, 100, 70};
  struct Case {
    TOrientation tag, first, second;
    TTrimRect source;
    TTurnLoss loss;  // of the second turn
    TOrientation turn, newTag;
  };
  const Case cases[] = {
      {kAsStored, kAsStored, kRotate90, {0, 0, 100, 64}, {0, 6}, kRotate90, kAsStored},
      {kAsStored,
       kAsStored,
       kMirrorHorizontal,
       {0, 0, 96, 70},
       {4, 0},
       kMirrorHorizontal,
       kAsStored},
      {kAsStored, kAsStored, kTransverse, {0, 0, 96, 64}, {4, 6}, kTransverse, kAsStored},
      {kAsStored, kAsStored, kTransposed, {0, 0, 100, 70}, {0, 0}, kTransposed, kAsStored},
      // After the mirror the source's right edge leads; the half turn makes the bottom lead.
      {kAsStored,
       kMirrorHorizontal,
       kRotate180,
       {0, 0, 96, 64},
       {0, 6},
       kMirrorVertical,
       kAsStored},
      // Shown turned clockwise: a further turn keeps the tag, a mirror changes its sense.
      {kRotate90, kAsStored, kRotate270, {0, 0, 96, 70}, {4, 0}, kRotate270, kRotate90},
      {kRotate90,
       kAsStored,
       kMirrorHorizontal,
       {0, 0, 96, 70},
       {4, 0},
       kMirrorHorizontal,
       kRotate270},
  };
  for (const Case& c : cases) {
    TTurnLoss loss;
    TOrientedTrim cut = Turned(WholePicture(grid, c.tag), c.first, grid, loss);
    cut = Turned(cut, c.second, grid, loss);
    EXPECT_TRUE(cut.Source == c.source) << c.second.ExifValue();
    EXPECT_EQ(loss.Right, c.loss.Right);
    EXPECT_EQ(loss.Bottom, c.loss.Bottom);
    EXPECT_EQ(cut.Turn, c.turn);
    EXPECT_EQ(cut.Tag, c.newTag);
    EXPECT_TRUE(Writable(cut, grid));
  }
  TTurnLoss loss;
  const TOrientedTrim upright = Upright(WholePicture(grid, kRotate90), grid, loss);
  EXPECT_EQ(upright.Turn, kRotate90);
  EXPECT_TRUE(upright.Tag.IsIdentity());
  EXPECT_EQ(upright.Width(), 64);
  // A picture narrower than an MCU has nothing left to lead after a mirror.
  const TMcuGrid narrow{16, 16, 10, 40};
  EXPECT_FALSE(
      Writable(Turned(WholePicture(narrow, kAsStored), kMirrorHorizontal, narrow, loss), narrow));
}

TEST(OrientedTrim, TrimsSnapTheLeadingEdgesOutwardsWithinThePicture) {
  const TMcuGrid grid{16, 8, 100, 70};
  TTurnLoss loss;
  const TOrientedTrim mirrored =
      Turned(WholePicture(grid, kAsStored), kMirrorHorizontal, grid, loss);
  // Output columns 3..50 are source columns 46..93; 93 leads and moves out to 96.
  EXPECT_TRUE(Trimmed(mirrored, {3, 5, 50, 60}, grid).Source == (TTrimRect{46, 0, 96, 60}));
  // Unturned: the stored left and top snap, right and bottom stay.
  EXPECT_TRUE(Trimmed(WholePicture(grid, kRotate90), {20, 13, 99, 69}, grid).Source ==
              (TTrimRect{16, 8, 99, 69}));
}

Bytes PhotoWithOrientation(std::uint16_t orientation, bool littleEndian = true) {
  fixtures::JpegOptions options;
  options.width = 70;
  options.height = 40;
  options.extraSegments = {fixtures::MakeExifSegment(littleEndian, 70, 40, 4, true, orientation)};
  return fixtures::MakeJpeg(options);
}

TOrientation OrientationOf(const Bytes& jpeg) {
  TJpegTrimming engine;
  EXPECT_TRUE(engine.AnalyzeBytes(jpeg));
  return engine.ExifOrientation();
}

TEST(ExifOrientation, IsReadFromTheFileAndWrittenWithTheCut) {
  EXPECT_EQ(OrientationOf(PhotoWithOrientation(6)), kRotate90);
  EXPECT_EQ(OrientationOf(PhotoWithOrientation(8, false)), kRotate270);
  EXPECT_TRUE(OrientationOf(PhotoWithOrientation(9)).IsIdentity());
  EXPECT_TRUE(OrientationOf(fixtures::MakeJpeg({})).IsIdentity());

  for (const bool little : {true, false}) {
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(PhotoWithOrientation(6, little)));
    TByteStream output;
    // A plain trim keeps the tag; turning upright clears it and swaps the Exif size.
    ASSERT_TRUE(engine.Trim(output, {0, 0, 40, 30}, false));
    EXPECT_EQ(OrientationOf(BytesOf(output)), kRotate90);
    TTurnLoss loss;
    ASSERT_TRUE(engine.TrimCut(
        output, Upright(WholePicture(engine.Grid(), kRotate90), engine.Grid(), loss), false));
    const Bytes upright = BytesOf(output);
    EXPECT_TRUE(OrientationOf(upright).IsIdentity());
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(fixtures::ReadExifPixelSize(upright, width, height));
    EXPECT_EQ(width, 32u);
    EXPECT_EQ(height, 70u);
  }
}

TEST(ExifOrientation, DroppedExifLeavesOnlyTheOrientation) {
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(PhotoWithOrientation(6)));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {0, 0, 40, 30}, true));
  const Bytes trimmed = BytesOf(output);
  const Bytes expected = OrientationOnlyExif(kRotate90);
  int app1 = 0;
  for (const auto& [marker, segment] : HeaderSegments(trimmed)) {
    if (marker != 0xFFE1) continue;
    ++app1;
    EXPECT_EQ(segment, expected);
  }
  EXPECT_EQ(app1, 1);
  EXPECT_EQ(trimmed[2], 0xFF);
  EXPECT_EQ(trimmed[3], 0xE0);  // JFIF stays first
  EXPECT_EQ(OrientationOf(trimmed), kRotate90);
  EXPECT_EQ(fixtures::Decode(trimmed).width, 40);
  // Upright, nothing is left to say.
  TJpegTrimming second;
  ASSERT_TRUE(second.AnalyzeBytes(PhotoWithOrientation(1)));
  ASSERT_TRUE(second.Trim(output, {0, 0, 40, 30}, true));
  for (const auto& segment : HeaderSegments(BytesOf(output))) EXPECT_NE(segment.first, 0xFFE1);
}

}  // namespace
}  // namespace tarvo::testing
