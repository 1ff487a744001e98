#include "SelectionFrame.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace tarvo {
namespace {

constexpr QRgb kDark = 0xFF000000u;
constexpr QRgb kLight = 0xFFFFFFFFu;

// A picture with a different colour in every pixel, so any stray write shows.
QImage Picture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, 90));
  }
  return image;
}

void Paint(QImage& image, const TTrimRect& rect, const QRect& exposed) {
  QPainter painter(&image);
  PaintSelectionFrame(painter, rect, exposed);
}

TEST(SelectionFrameTest, FrameIsABandOfDarkAndLightDashesThreePixelsDeep) {
  const QImage picture = Picture(60, 50);
  QImage image = picture;
  const TTrimRect rect{10, 8, 40, 30};
  Paint(image, rect, image.rect());
  const QRegion band = SelectionFrameRegion(rect);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!band.contains(QPoint(x, y))) {
        ASSERT_EQ(image.pixel(x, y), picture.pixel(x, y)) << x << "," << y;
      } else {
        ASSERT_TRUE(image.pixel(x, y) == kDark || image.pixel(x, y) == kLight) << x << "," << y;
      }
    }
  }
  // Dashes four pixels long along the top, dark and light in turn.
  EXPECT_EQ(image.pixel(11, 8), kDark);
  EXPECT_EQ(image.pixel(12, 8), kLight);
  EXPECT_EQ(image.pixel(16, 8), kDark);
  EXPECT_EQ(image.pixel(10, 15), kLight);
  // The band: the outer border at the rectangle's edges, Right and Bottom exclusive.
  EXPECT_TRUE(band.contains(QPoint(10, 8)));
  EXPECT_TRUE(band.contains(QPoint(39, 29)));
  EXPECT_TRUE(band.contains(QPoint(12, 20)));
  EXPECT_FALSE(band.contains(QPoint(13, 20)));
  EXPECT_FALSE(band.contains(QPoint(40, 20)));
  EXPECT_FALSE(band.contains(QPoint(20, 30)));
}

// Mid-grey, where an inverted frame would be #7F7F7F on #808080, and a 2x device pixel ratio,
// where single device pixels would leave the frame sparse: every device pixel of the band is
// dark or light.
TEST(SelectionFrameTest, ShowsSolidOnMidGreyAtEveryDevicePixelRatio) {
  for (const int ratio : {1, 2}) {
    QImage image(60 * ratio, 50 * ratio, QImage::Format_RGB32);
    image.fill(qRgb(0x80, 0x80, 0x80));
    image.setDevicePixelRatio(ratio);
    const TTrimRect rect{10, 8, 40, 30};
    Paint(image, rect, QRect(0, 0, 60, 50));
    const QRegion band = SelectionFrameRegion(rect);
    int dark = 0;
    int light = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (!band.contains(QPoint(x / ratio, y / ratio))) continue;
        dark += image.pixel(x, y) == kDark;
        light += image.pixel(x, y) == kLight;
      }
    }
    long long area = 0;
    for (const QRect& part : band) area += static_cast<long long>(part.width()) * part.height();
    EXPECT_EQ(dark + light, area * ratio * ratio) << ratio;
    EXPECT_GT(dark, area * ratio * ratio / 3) << ratio;
    EXPECT_GT(light, area * ratio * ratio / 3) << ratio;
  }
}

TEST(SelectionFrameTest, PaintsOnlyInsideTheExposedPart) {
  const QImage picture = Picture(60, 50);
  QImage whole = picture;
  QImage parts = picture;
  const TTrimRect rect{10, 8, 40, 30};
  Paint(whole, rect, whole.rect());
  // Painted in two parts, as two exposures would: the same picture.
  Paint(parts, rect, QRect(0, 0, 60, 21));
  Paint(parts, rect, QRect(0, 21, 60, 29));
  EXPECT_EQ(parts, whole);
  QImage none = picture;
  Paint(none, rect, QRect(15, 12, 20, 10));
  EXPECT_EQ(none, picture);
  // A one-pixel-wide rectangle is still drawn.
  QImage narrow = picture;
  Paint(narrow, {3, 3, 4, 30}, narrow.rect());
  EXPECT_NE(narrow.pixel(3, 5), picture.pixel(3, 5));
}

}  // namespace
}  // namespace tarvo
