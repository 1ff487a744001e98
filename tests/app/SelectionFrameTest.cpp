#include "SelectionFrame.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace tarvo {
namespace {

// A picture with a different colour in every pixel, so any stray write shows.
QImage Picture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, 90));
  }
  return image;
}

void Paint(QImage& image, const TSelectionRect& rect, const QRect& exposed) {
  QPainter painter(&image);
  PaintSelectionFrame(painter, rect, exposed);
}

bool Inverted(const QImage& before, const QImage& after, int x, int y) {
  return after.pixel(x, y) == (before.pixel(x, y) ^ 0x00FFFFFFu);
}

TEST(SelectionFrameTest, FrameIsACheckeredBandThreePixelsDeep) {
  const QImage picture = Picture(60, 50);
  QImage image = picture;
  const TSelectionRect rect{10, 8, 40, 30};
  Paint(image, rect, image.rect());
  const QRegion band = SelectionFrameRegion(rect);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const bool inBand = band.contains(QPoint(x, y));
      const bool dot = inBand && (x + y) % 2 == 0;
      ASSERT_EQ(Inverted(picture, image, x, y), dot) << x << "," << y;
      if (!dot) {
        ASSERT_EQ(image.pixel(x, y), picture.pixel(x, y)) << x << "," << y;
      }
    }
  }
  // The band: the outer border at the rectangle's edges, Right and Bottom exclusive.
  EXPECT_TRUE(band.contains(QPoint(10, 8)));
  EXPECT_TRUE(band.contains(QPoint(39, 29)));
  EXPECT_TRUE(band.contains(QPoint(12, 20)));
  EXPECT_FALSE(band.contains(QPoint(13, 20)));
  EXPECT_FALSE(band.contains(QPoint(40, 20)));
  EXPECT_FALSE(band.contains(QPoint(20, 30)));
}

TEST(SelectionFrameTest, DrawingTwiceLeavesThePictureAsItWas) {
  const QImage picture = Picture(40, 40);
  for (const TSelectionRect rect :
       {TSelectionRect{5, 5, 30, 20}, TSelectionRect{3, 3, 4, 30}, TSelectionRect{0, 0, 2, 2},
        TSelectionRect{7, 9, 12, 10}, TSelectionRect{0, 0, 40, 40}, TSelectionRect{9, 9, 9, 9}}) {
    QImage image = picture;
    Paint(image, rect, image.rect());
    Paint(image, rect, image.rect());
    EXPECT_EQ(image, picture) << rect.Left << "," << rect.Top << "," << rect.Right;
  }
  // A one-pixel-wide rectangle is still drawn: its shared column is inverted once, not twice.
  QImage image = picture;
  Paint(image, {3, 3, 4, 30}, image.rect());
  EXPECT_TRUE(Inverted(picture, image, 3, 5));
}

TEST(SelectionFrameTest, PaintsOnlyInsideTheExposedPart) {
  const QImage picture = Picture(60, 50);
  QImage whole = picture;
  QImage parts = picture;
  const TSelectionRect rect{10, 8, 40, 30};
  Paint(whole, rect, whole.rect());
  // Painted in two parts, as two exposures would: the same picture, no dot drawn twice.
  Paint(parts, rect, QRect(0, 0, 60, 20));
  Paint(parts, rect, QRect(0, 20, 60, 30));
  EXPECT_EQ(parts, whole);
  QImage none = picture;
  Paint(none, rect, QRect(15, 12, 20, 10));
  EXPECT_EQ(none, picture);
}

}  // namespace
}  // namespace tarvo
