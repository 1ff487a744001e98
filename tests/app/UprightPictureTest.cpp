// A picture turned upright for the screen, and the mirrors between the selection and the screen.
#include "UprightPicture.h"

#include <gtest/gtest.h>

#include <array>

namespace tarvo {
namespace {

constexpr std::array<TOrientation, 8> kAll = {kAsStored,       kMirrorHorizontal, kRotate180,
                                              kMirrorVertical, kTransposed,       kRotate90,
                                              kTransverse,     kRotate270};

TEST(UprightPicture, EveryPixelLandsWhereTheOrientationMapsIt) {
  // 3 x 2 pixels, each its own colour; a reduced picture keeps its reduction.
  QImage stored(3, 2, QImage::Format_RGB888);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) stored.setPixel(x, y, qRgb(x * 80, y * 80, 7));
  }
  for (const TOrientation orientation : kAll) {
    SCOPED_TRACE(orientation.ExifValue());
    const TPicture upright = UprightPicture({stored, QSize(12, 8), 4}, orientation);
    EXPECT_EQ(upright.Frame, orientation.Transpose ? QSize(8, 12) : QSize(12, 8));
    EXPECT_EQ(upright.Reduction, 4);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        const TTrimRect at = orientation.Map({x, y, x + 1, y + 1}, 3, 2);
        EXPECT_EQ(upright.Pixels.pixel(at.Left, at.Top), stored.pixel(x, y)) << x << "," << y;
      }
    }
  }
}

TEST(UprightMirror, UndoesTheMirrorsOfTheOrientationAtTheScreensEdge) {
  struct Case {
    TOrientation orientation;
    TTrimRect shown;  // of {0, 16, 30, 40} in a 100 x 70 picture
    TArrowKey left;   // what the Left key does to the selection
    TPointerShape nwSe;
    std::int32_t viewX;  // of pointer x 10 on a 200-pixel view
  };
  const Case cases[] = {
      {kAsStored, {0, 16, 30, 40}, TArrowKey::Left, TPointerShape::SizeDiagonalNwSe, 10},
      // Shown clockwise: the selection's picture is the stored one transposed, mirrored across.
      {kRotate90, {70, 16, 100, 40}, TArrowKey::Right, TPointerShape::SizeDiagonalNeSw, 190},
      {kRotate270, {0, 30, 30, 54}, TArrowKey::Left, TPointerShape::SizeDiagonalNeSw, 10},
      {kRotate180, {70, 30, 100, 54}, TArrowKey::Right, TPointerShape::SizeDiagonalNwSe, 190},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orientation.ExifValue());
    const TUprightMirror mirror(c.orientation, 100, 70);
    EXPECT_EQ(mirror.Rect({0, 16, 30, 40}), c.shown);
    EXPECT_EQ(mirror.Rect(c.shown), (TTrimRect{0, 16, 30, 40}));
    EXPECT_EQ(mirror.Key(TArrowKey::Left), c.left);
    EXPECT_EQ(mirror.Shape(TPointerShape::SizeDiagonalNwSe), c.nwSe);
    EXPECT_EQ(mirror.Shape(TPointerShape::SizeHorizontal), TPointerShape::SizeHorizontal);
    EXPECT_EQ(mirror.ViewX(10, 200), c.viewX);
  }
}

}  // namespace
}  // namespace tarvo
