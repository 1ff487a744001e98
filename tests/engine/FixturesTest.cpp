// The fixture library is the oracle of the engine tests, so it is checked against itself first.
#include <gtest/gtest.h>

#include "JpegFixtures.h"

namespace tarvo::fixtures {
namespace {

TEST(Fixtures, CropKeepsSourceBlocks) {
  JpegOptions options;
  options.width = 100;
  options.height = 70;
  const Bytes source = MakeJpeg(options);
  const Bytes cropped = LibjpegCrop(source, 16, 32, 40, 30);
  const Coefficients a = ReadCoefficients(source);
  const Coefficients b = ReadCoefficients(cropped);
  EXPECT_EQ(b.width, 40);
  EXPECT_EQ(b.height, 30);
  EXPECT_EQ(b.warnings, 0);
  ASSERT_EQ(b.components.size(), 3u);
  // Luma is 2x2 sampled: MCU (1, 2) of the source starts at block row 4, column 2.
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(b.components[0].Block(0, 0)[i], a.components[0].Block(4, 2)[i]);
  }
  const Pixels pixels = Decode(cropped);
  EXPECT_EQ(pixels.width, 40);
  EXPECT_EQ(pixels.warnings, 0);
}

TEST(Fixtures, ExifSegmentRoundTrips) {
  for (const bool little : {true, false}) {
    for (const std::uint16_t type : {std::uint16_t{3}, std::uint16_t{4}}) {
      JpegOptions options;
      options.extraSegments.push_back(MakeExifSegment(little, 1234, 567, type));
      std::uint32_t w = 0, h = 0;
      ASSERT_TRUE(ReadExifPixelSize(MakeJpeg(options), w, h));
      EXPECT_EQ(w, 1234u);
      EXPECT_EQ(h, 567u);
    }
  }
}

}  // namespace
}  // namespace tarvo::fixtures
