// The view rate decides the paint-area size, the MCU grid and every view/image conversion, and
// each of them truncates; these are the cases where truncation shows.
#include <gtest/gtest.h>

#include "ViewMapping.h"

namespace tarvo {
namespace {

constexpr int k1of8 = 0;
constexpr int k1of1 = 3;
constexpr int k8of1 = 6;

TEST(ViewRates, ItemTextsAndFactors) {
  const char* texts[] = {" 12.5% (1/8)", " 25.0% (1/4)", " 50.0% (1/2)", "100.0% (1/1)",
                         "200.0% (2/1)", "400.0% (4/1)", "800.0% (8/1)"};
  const int nums[] = {1, 1, 1, 1, 2, 4, 8};
  const int dens[] = {8, 4, 2, 1, 1, 1, 1};
  ASSERT_EQ(kViewRates.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(ViewRateAt(i).Text, texts[i]);
    EXPECT_EQ(ViewRateAt(i).Num, nums[i]);
    EXPECT_EQ(ViewRateAt(i).Den, dens[i]);
  }
  for (int outside : {-1, 7, 100, -5}) {
    EXPECT_EQ(ViewRateAt(outside).Num, 1);
    EXPECT_EQ(ViewRateAt(outside).Den, 1);
  }
}

TEST(ViewRates, FittingTakesTheLargestRateThatShowsThePictureWhole) {
  const struct {
    int width, height, areaWidth, areaHeight, index;
  } cases[] = {
      {16, 16, 1000, 700, k8of1},       // an icon is no speck
      {1000, 700, 1000, 700, k1of1},    // exactly the room
      {1001, 700, 1000, 700, 2},        // a pixel too wide for 1/1
      {6000, 8000, 1900, 1000, k1of8},  // a 48 MP portrait on a full-HD screen: 750 x 1000
      {6000, 8008, 1900, 1000, k1of8},  // too high even at 1/8: the smallest rate
      {300, 200, 0, 0, k1of8},          // no room at all
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FittingRateIndex(c.width, c.height, c.areaWidth, c.areaHeight), c.index)
        << c.width << "x" << c.height << " in " << c.areaWidth << "x" << c.areaHeight;
  }
  EXPECT_EQ(kViewRateFit, 7);
}

TEST(ViewRates, ZoomStopsAtTheEnds) {
  EXPECT_EQ(ZoomInIndex(k8of1), k8of1);
  EXPECT_EQ(ZoomOutIndex(k1of8), k1of8);
  EXPECT_EQ(ZoomInIndex(k1of1), 4);
  EXPECT_EQ(ZoomOutIndex(k1of1), 2);
  // No item selected (a stored rate out of range): in picks the first, out stays at none.
  EXPECT_EQ(ZoomInIndex(-1), k1of8);
  EXPECT_EQ(ZoomOutIndex(-1), -1);
}

TEST(ViewMapping, PaintAreaTruncatesAndTheLastColumnIsOutOfReach) {
  TViewMapping view;
  view.SetPicture(1001, 667, 16, 16);
  view.SetRateIndex(k1of8);
  EXPECT_EQ(view.ViewWidth(), 125);
  EXPECT_EQ(view.ViewHeight(), 83);
  // The right-most view edge maps back to image column 1000 (exclusive).
  EXPECT_EQ(view.ToImage(view.ViewWidth()), 1000);
  view.SetRateIndex(k8of1);
  EXPECT_EQ(view.ViewWidth(), 8008);
  EXPECT_EQ(view.ToImage(7), 0);
  EXPECT_EQ(view.ToImage(8), 1);
}

TEST(ViewMapping, McuIsWholeViewPixelsAtEveryRate) {
  TViewMapping view;
  view.SetPicture(640, 480, 16, 8);  // 4:2:2
  const int widths[] = {2, 4, 8, 16, 32, 64, 128};
  const int heights[] = {1, 2, 4, 8, 16, 32, 64};
  for (int i = 0; i < 7; ++i) {
    view.SetRateIndex(i);
    EXPECT_EQ(view.ViewMcuWidth(), widths[i]) << i;
    EXPECT_EQ(view.ViewMcuHeight(), heights[i]) << i;
  }
}

TEST(ViewMapping, SizesFollowANewPictureAtTheKeptRate) {
  TViewMapping view;
  view.SetRateIndex(4);
  view.SetPicture(1203, 917, 16, 16);
  EXPECT_EQ(view.ViewWidth(), 2406);
  EXPECT_EQ(view.ViewHeight(), 1834);
  view.SetPicture(1200, 912, 8, 8);
  EXPECT_EQ(view.ViewWidth(), 2400);
  EXPECT_EQ(view.ViewMcuWidth(), 16);
}

TEST(ViewMapping, ViewEdgesTruncateAndEnlargeExactly) {
  TViewMapping view;
  view.SetPicture(2000, 1500, 16, 16);
  view.SetRateIndex(k1of8);
  EXPECT_EQ(view.ToView(1003), 125);
  EXPECT_EQ(view.ToView(999), 124);
  // A selection 7 image pixels wide on the MCU grid has no width at 1/8.
  EXPECT_EQ(view.ToView(16), view.ToView(23));
  view.SetRateIndex(k8of1);
  EXPECT_EQ(view.ToView(33), 264);
  EXPECT_EQ(view.ToImage(7), 0);
}

// A pointer in image pixels: view pixels scaled back, except that the paint area's far edge,
// truncated at rates below 1/1, is the picture's own edge.
TEST(PointerToImage, FarEdgeOfThePaintAreaIsThePicturesEdge) {
  const struct {
    std::int32_t view, num, den, image;
  } cases[] = {{149, 1, 8, 1192}, {150, 1, 8, 1203},  {152, 1, 8, 1219}, {-5, 1, 8, -40},
               {600, 1, 2, 1200}, {601, 1, 2, 1203},  {602, 1, 2, 1205}, {1203, 1, 1, 1203},
               {7, 8, 1, 0},      {9623, 8, 1, 1202}, {9624, 8, 1, 1203}};
  for (const auto& c : cases) {
    EXPECT_EQ(PointerToImage(c.view, 1203, c.num, c.den), c.image)
        << c.view << " at " << c.num << "/" << c.den;
  }
}

TEST(ViewMapping, UnknownIndexMeansOneToOne) {
  TViewMapping view;
  view.SetPicture(100, 50, 8, 8);
  view.SetRateIndex(k1of8);
  view.SetRateIndex(-1);
  EXPECT_EQ(view.ViewScaleNum(), 1);
  EXPECT_EQ(view.ViewScaleDen(), 1);
  EXPECT_EQ(view.ViewWidth(), 100);
}

TEST(ScrollSteps, WheelNotchIsAboutNinePercentOfTheVisibleHeight) {
  EXPECT_EQ(VerticalScrollSteps(383).Page, 344);
  EXPECT_EQ(VerticalScrollSteps(383).Line, 34);
  EXPECT_EQ(VerticalScrollSteps(10).Line, 0);
  EXPECT_EQ(VerticalScrollSteps(0).Page, 0);
}

TEST(DropDownWidth, ScrollBarOnlyWhenItemsOverflow) {
  EXPECT_EQ(DropDownListWidth(100, 8, 8, 17), 112);
  EXPECT_EQ(DropDownListWidth(100, 9, 8, 17), 129);
  EXPECT_EQ(DropDownListWidth(0, 7, 8, 17), 12);
}

// The picture point at the view's middle stays there across a zoom, within the scroll range.
TEST(ViewScroll, ZoomKeepsThePointAtTheViewsMiddle) {
  const struct {
    int oldScroll, visible, oldSize, newSize, expected;
  } cases[] = {
      // Point 1000 of 2000 at the middle of a 400-pixel view: 2000 of 4000 after doubling.
      {800, 400, 2000, 4000, 1800},
      {800, 400, 2000, 1000, 300},
      // Near the end: the new range ends the scroll short of the point.
      {1600, 400, 2000, 1000, 600},
      // Zoomed out to less than the view: no scroll left.
      {800, 400, 2000, 250, 0},
      // A picture the view showed whole grows from its own middle.
      {0, 400, 300, 600, 100},
      // No picture before: the old position, kept in range.
      {50, 400, 0, 1000, 50},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScrollKeepingMiddle(c.oldScroll, c.visible, c.oldSize, c.newSize), c.expected)
        << c.oldScroll << ' ' << c.oldSize << ' ' << c.newSize;
  }
}

// A drag held past the view's edge scrolls towards the pointer, faster the farther out it is.
TEST(ViewScroll, AutoScrollStepFollowsThePointerOutsideOnly) {
  const struct {
    int pointer, expected;
  } cases[] = {{0, 0}, {399, 0}, {-1, -8}, {400, 8}, {-40, -28}, {439, 28}, {-1000, -64}};
  for (const auto& c : cases) EXPECT_EQ(AutoScrollStep(c.pointer, 400), c.expected) << c.pointer;
}

}  // namespace
}  // namespace tarvo
