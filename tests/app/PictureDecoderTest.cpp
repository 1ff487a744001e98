// The display decoder against libjpeg's own decode, and its failures as the user sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <jerror.h>

#include "JpegFixtures.h"
#include "PictureDecoder.h"

namespace tarvo {
namespace {

using fixtures::Bytes;

void ExpectSamePixels(const QImage& image, const fixtures::Pixels& reference) {
  ASSERT_EQ(image.format(), QImage::Format_RGB888);
  ASSERT_EQ(image.width(), reference.width);
  ASSERT_EQ(image.height(), reference.height);
  const int channels = reference.components;
  for (int y = 0; y < image.height(); ++y) {
    const uchar* row = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      for (int c = 0; c < 3; ++c) {
        const std::size_t source = (static_cast<std::size_t>(y) * reference.width + x) * channels +
                                   (channels == 1 ? 0 : c);
        ASSERT_EQ(row[x * 3 + c], reference.samples[source]) << x << "," << y << "," << c;
      }
    }
  }
}

TEST(PictureDecoder, DecodesColourAtFullSize) {
  for (fixtures::Sampling sampling :
       {fixtures::Sampling::k420, fixtures::Sampling::k422, fixtures::Sampling::k444}) {
    fixtures::JpegOptions options;
    options.width = 203;  // not a multiple of the MCU: partial MCUs on the right and bottom
    options.height = 117;
    options.sampling = sampling;
    options.restartInterval = 3;
    const Bytes jpeg = MakeJpeg(options);
    ExpectSamePixels(DecodePicture(jpeg).Pixels, fixtures::Decode(jpeg));
  }
}

TEST(PictureDecoder, ReducedPicturesRoundUpAndKeepTheFrameSize) {
  fixtures::JpegOptions options;
  options.width = 203;
  options.height = 117;
  const Bytes jpeg = MakeJpeg(options);
  const struct {
    int reduction;
    QSize pixels;
  } cases[] = {{1, {203, 117}}, {2, {102, 59}}, {4, {51, 30}}, {8, {26, 15}}};
  for (const auto& c : cases) {
    const TPicture picture = DecodePicture(jpeg, c.reduction);
    EXPECT_EQ(picture.Pixels.size(), c.pixels) << c.reduction;
    EXPECT_EQ(picture.Frame, QSize(203, 117));
    EXPECT_EQ(picture.Reduction, c.reduction);
  }
}

// The fixture's CMYK has no black, so the colours shown are the stored C, M and Y.
TEST(PictureDecoder, ShowsAdobeCmykAndYcckAsRgb) {
  for (const bool ycck : {false, true}) {
    fixtures::JpegOptions options;
    options.sampling = fixtures::Sampling::k444;
    options.cmyk = true;
    options.ycck = ycck;
    options.writeAdobe = true;
    const Bytes jpeg = MakeJpeg(options);
    ExpectSamePixels(DecodePicture(jpeg).Pixels, fixtures::Decode(jpeg));
  }
}

TEST(PictureDecoder, ExpandsGreyToRgb) {
  fixtures::JpegOptions options;
  options.sampling = fixtures::Sampling::kGrey;
  const Bytes jpeg = MakeJpeg(options);
  ExpectSamePixels(DecodePicture(jpeg).Pixels, fixtures::Decode(jpeg));
}

TEST(PictureDecoder, DamagedScanStillShowsWhatCanBeDecoded) {
  fixtures::JpegOptions options;
  options.width = 160;
  options.height = 160;
  Bytes jpeg = MakeJpeg(options);
  jpeg.resize(jpeg.size() * 2 / 3);
  const QImage image = DecodePicture(jpeg).Pixels;
  EXPECT_EQ(image.width(), 160);
  EXPECT_EQ(image.height(), 160);
}

TEST(PictureDecoder, RefusalsCarryLibjpegsCode) {
  struct Case {
    Bytes bytes;
    int code;
  };
  const Case cases[] = {
      {{}, JERR_INPUT_EMPTY},
      {{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'}, JERR_NO_SOI},
      {{0xFF, 0xD8, 0xFF, 0xD9}, JERR_NO_IMAGE},
  };
  for (const Case& c : cases) {
    try {
      DecodePicture(c.bytes);
      ADD_FAILURE() << "decoded " << c.bytes.size() << " bytes";
    } catch (const EPictureError& error) {
      EXPECT_EQ(error.Code(), c.code);
      EXPECT_STREQ(error.what(), ("JPEG エラー #" + std::to_string(c.code)).c_str());
    }
  }
}

TEST(PictureDecoder, APictureTooLargeForMemorySaysSo) {
  Bytes jpeg = MakeJpeg(fixtures::JpegOptions());
  const Bytes sof0 = {0xFF, 0xC0};
  const auto sof = std::search(jpeg.begin(), jpeg.end(), sof0.begin(), sof0.end());
  ASSERT_NE(sof, jpeg.end());
  // Height and width 60000, after the length and the precision.
  for (const int at : {5, 7}) {
    sof[at] = 0xEA;
    sof[at + 1] = 0x60;
  }
  try {
    DecodePicture(jpeg);
    ADD_FAILURE() << "decoded";
  } catch (const EPictureError& error) {
    EXPECT_EQ(error.Code(), JERR_OUT_OF_MEMORY);
    EXPECT_STREQ(error.what(), "画像が大きすぎて表示できません (60000 x 60000 ピクセル)");
  }
}

TEST(PictureDecoder, HeaderWithoutScanIsRefusedNotRead) {
  fixtures::JpegOptions options;
  Bytes jpeg = MakeJpeg(options);
  // Cut inside the frame header: libjpeg runs out of data before the image starts.
  jpeg.resize(40);
  EXPECT_THROW(DecodePicture(jpeg), EPictureError);
}

TEST(PictureDecoder, FrameTooLargeToHoldIsRefusedBeforeDecoding) {
  fixtures::JpegOptions options;
  Bytes jpeg = MakeJpeg(options);
  // Rewrite the SOF0 frame size to 40000 x 40000: 4.8 GB of pixels behind a few hundred bytes.
  for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = jpeg[i + 7] = 40000 >> 8;
      jpeg[i + 6] = jpeg[i + 8] = 40000 & 0xFF;
      break;
    }
  }
  try {
    DecodePicture(jpeg);
    ADD_FAILURE() << "decoded";
  } catch (const EPictureError& error) {
    EXPECT_EQ(error.Code(), JERR_OUT_OF_MEMORY);
  }
}

}  // namespace
}  // namespace tarvo
