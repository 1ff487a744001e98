// The clipboard's PNG: what PNG readers decode from it is the picture turned upright, pixel for
// pixel, however many bands it was compressed in.
#include "PngWriter.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <array>
#include <random>

#include "UprightPicture.h"

namespace tarvo {
namespace {

constexpr std::array<TOrientation, 8> kAll = {kAsStored,       kMirrorHorizontal, kRotate180,
                                              kMirrorVertical, kTransposed,       kRotate90,
                                              kTransverse,     kRotate270};

// Noise, which deflate cannot shorten much, with a flat band it can: both block kinds occur.
QImage Pixels(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  std::mt19937 random(7);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, y < height / 3 ? qRgb(10, 20, 30) : random() & 0xFFFFFF);
    }
  }
  return image;
}

TEST(UprightPng, DecodesToThePictureTurnedUpright) {
  // 37 x 41: odd sizes, more rows than a row group, bands of unequal height.
  const QImage stored = Pixels(37, 41);
  for (const TOrientation orientation : kAll) {
    for (const int bands : {1, 3, 41, 100}) {
      SCOPED_TRACE(testing::Message() << orientation.ExifValue() << " in " << bands << " bands");
      QByteArray png = UprightPng(stored, orientation, bands);
      QBuffer buffer(&png);
      QImageReader reader(&buffer, "PNG");
      const QImage read = reader.read();
      ASSERT_FALSE(read.isNull()) << reader.errorString().toStdString();
      EXPECT_EQ(read.convertToFormat(QImage::Format_RGB888),
                UprightPicture({stored, stored.size(), 1}, orientation).Pixels);
    }
  }
}

TEST(UprightPng, StopsEmptyOrRefusesWhatItCannotWrite) {
  const std::atomic<bool> stop = true;
  EXPECT_TRUE(UprightPng(Pixels(8, 64), kAsStored, 2, &stop).isEmpty());
  EXPECT_TRUE(UprightPng(QImage(), kAsStored).isEmpty());
  EXPECT_TRUE(UprightPng(QImage(4, 4, QImage::Format_ARGB32), kAsStored).isEmpty());
}

}  // namespace
}  // namespace tarvo
