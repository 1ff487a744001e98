// The view rate decides the paint-area size, the MCU grid and every view/image conversion, and
// each of them truncates; these are the cases where truncation shows.
#include <gtest/gtest.h>

#include "ViewMapping.h"

namespace tarvo {
namespace {

struct TEdges {
  std::int32_t Left, Top, Right, Bottom;
};

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
  view.SetPicture(1001, 667, 2, 2);
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
  view.SetPicture(640, 480, 2, 1);  // 4:2:2, MCU 16 x 8
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
  view.SetPicture(1203, 917, 2, 2);
  EXPECT_EQ(view.ViewWidth(), 2406);
  EXPECT_EQ(view.ViewHeight(), 1834);
  view.SetPicture(1200, 912, 1, 1);
  EXPECT_EQ(view.ViewWidth(), 2400);
  EXPECT_EQ(view.ViewMcuWidth(), 16);
}

TEST(ViewMapping, RateChangeTruncatesOnTheWayDownAndDoesNotComeBack) {
  TViewMapping view;
  view.SetPicture(2000, 1500, 2, 2);
  TEdges selection{16, 32, 1003, 999};
  view.ChangeRate(k1of8, selection);
  EXPECT_EQ(selection.Left, 2);
  EXPECT_EQ(selection.Top, 4);
  EXPECT_EQ(selection.Right, 125);
  EXPECT_EQ(selection.Bottom, 124);
  view.ChangeRate(k1of1, selection);
  EXPECT_EQ(selection.Left, 16);
  EXPECT_EQ(selection.Top, 32);
  EXPECT_EQ(selection.Right, 1000);
  EXPECT_EQ(selection.Bottom, 992);
  EXPECT_EQ(view.ViewWidth(), 2000);
}

TEST(ViewMapping, NarrowSelectionCollapsesAtOneEighth) {
  TViewMapping view;
  view.SetPicture(640, 480, 1, 1);
  TEdges selection{16, 8, 23, 100};  // 7 image pixels wide, left on the MCU grid
  view.ChangeRate(k1of8, selection);
  EXPECT_EQ(selection.Left, 2);
  EXPECT_EQ(selection.Right, 2);
}

TEST(ViewMapping, EdgesInsideAnImagePixelFallBackAtEightToOne) {
  TViewMapping view;
  view.SetPicture(640, 480, 1, 1);
  view.SetRateIndex(k8of1);
  TEdges selection{0, 0, 7, 7};
  view.ChangeRate(k8of1, selection);
  EXPECT_EQ(selection.Right, 0);
  EXPECT_EQ(selection.Bottom, 0);
  // Going up from 1/1 is exact.
  view.SetRateIndex(k1of1);
  TEdges exact{16, 16, 33, 47};
  view.ChangeRate(k8of1, exact);
  EXPECT_EQ(exact.Left, 128);
  EXPECT_EQ(exact.Right, 264);
  EXPECT_EQ(exact.Bottom, 376);
}

TEST(ViewMapping, UnknownIndexMeansOneToOne) {
  TViewMapping view;
  view.SetPicture(100, 50, 1, 1);
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

}  // namespace
}  // namespace tarvo
