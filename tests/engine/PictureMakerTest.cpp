// The libjpeg-turbo picture maker: quality read back from tables, area scaling, re-encoding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "AreaScaler.h"
#include "JpegFixtures.h"
#include "LibjpegPictureMaker.h"

namespace tarvo::testing {
namespace {

using fixtures::Bytes;

TEST(PictureMaker, EstimatesTheQualityATableWasMadeAt) {
  for (const int quality : {30, 50, 75, 90, 97}) {
    fixtures::JpegOptions options;
    options.quality = quality;
    EXPECT_NEAR(EstimateJpegQuality(fixtures::MakeJpeg(options)), quality, 1) << quality;
  }
  EXPECT_EQ(EstimateJpegQuality(Bytes{0xFF, 0xD8, 0xFF}), 0);
}

TEST(PictureMaker, AreaScalingAveragesWhatEachPixelCovers) {
  struct Case {
    int width, height;
    std::vector<std::uint8_t> in;
    int toWidth, toHeight;
    std::vector<std::uint8_t> out;
  };
  for (const Case& c :
       {Case{4, 1, {0, 100, 200, 40}, 2, 1, {50, 120}},
        // Each output pixel takes one and a half source pixels.
        Case{3, 1, {0, 90, 30}, 2, 1, {30, 50}}, Case{2, 2, {10, 20, 30, 40}, 1, 1, {25}},
        Case{2, 1, {7, 9}, 2, 1, {7, 9}}}) {
    const TPixelPicture scaled = ScaleByArea({c.width, c.height, 1, c.in}, c.toWidth, c.toHeight);
    EXPECT_EQ(scaled.Samples, c.out);
  }
}

TEST(PictureMaker, SmallerFitsTheBoxKeepingAspectAndNeverEnlarges) {
  fixtures::JpegOptions options;
  options.width = 400;
  options.height = 100;
  const Bytes wide = fixtures::MakeJpeg(options);
  const TLibjpegPictureMaker maker;
  struct Case {
    int box, width, height;
  };
  for (const Case c : {Case{160, 160, 40}, Case{1000, 400, 100}, Case{3, 3, 1}}) {
    const fixtures::Pixels pixels = fixtures::Decode(maker.Smaller(wide, c.box, c.box, wide));
    EXPECT_EQ(pixels.width, c.width);
    EXPECT_EQ(pixels.height, c.height);
    EXPECT_EQ(pixels.warnings, 0);
  }
  EXPECT_TRUE(maker.Smaller(Bytes{0xFF, 0xD8}, 160, 120, wide).empty());
  // A byte budget lowers the quality until the picture fits, or gives up.
  const std::size_t full = maker.Smaller(wide, 160, 160, wide, TPictureMaker::kAnySize, 95).size();
  const Bytes fitted = maker.Smaller(wide, 160, 160, wide, full / 2, 95);
  EXPECT_GT(fitted.size(), 0u);
  EXPECT_LE(fitted.size(), full / 2);
  EXPECT_TRUE(maker.Smaller(wide, 160, 160, wide, 100, 95).empty());
}

TEST(PictureMaker, DrawsFromADcPictureOnlyWhereAnEighthFillsTheBoxAndTheHeaderAgrees) {
  fixtures::JpegOptions options;
  options.width = 400;
  options.height = 100;
  const Bytes wide = fixtures::MakeJpeg(options);
  // 4:2:0: luma blocks 50 x 13, chroma 25 x 7, all mid grey.
  const auto dcPicture = [](int width) {
    TDcPicture dc{width, 100, {}};
    for (const int factor : {2, 1, 1}) {
      const int cols = factor == 2 ? 50 : 25;
      const int rows = factor == 2 ? 13 : 7;
      dc.Planes.push_back({factor, factor, cols, rows,
                           std::vector<std::int16_t>(static_cast<std::size_t>(cols * rows))});
    }
    return dc;
  };
  struct Case {
    int width, box;
    bool drawn;
  };
  for (const Case c : {Case{400, 40, true}, Case{400, 160, false}, Case{401, 40, false}}) {
    const Bytes drawn =
        TLibjpegPictureMaker().SmallerFromDc(dcPicture(c.width), wide, c.box, c.box, wide);
    EXPECT_EQ(!drawn.empty(), c.drawn) << c.width << " " << c.box;
    if (drawn.empty()) continue;
    const fixtures::Pixels pixels = fixtures::Decode(drawn);
    EXPECT_EQ(pixels.width, 40);
    EXPECT_EQ(pixels.height, 10);
    EXPECT_NEAR(pixels.samples[0], 128, 2);
  }
}

}  // namespace
}  // namespace tarvo::testing
