#include "Selection.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "OrientedTrim.h"
#include "RecordingSelectionHost.h"

namespace tarvo {
namespace {

class SelectionTest : public ::testing::Test {
 protected:
  void SetGrid(int32_t width, int32_t height, int32_t mcuWidth, int32_t mcuHeight, int32_t num = 1,
               int32_t den = 1) {
    Sel.SetGrid({width, height, mcuWidth, mcuHeight, num, den});
  }

  void Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
            TTrimModeKind mode = TTrimModeKind::Free) {
    Sel.MouseDown(x0, y0);
    Sel.MouseMove(x1, y1, true, mode);
    Sel.MouseUp(mode);
  }

  // The only frame on the picture is the selection's, and only while one exists.
  void ExpectOneFrameOnPicture() {
    if (Sel.SelectionState() == selNone) {
      EXPECT_TRUE(Host.Frames.empty());
      return;
    }
    const TTrimRect& r = Sel.SelectionRect();
    EXPECT_EQ(Host.Frames, (std::set<std::array<int32_t, 4>>{{r.Left, r.Top, r.Right, r.Bottom}}));
  }

  TRecordingHost Host;
  TSelection Sel{Host};
};

TEST_F(SelectionTest, HitTestFindsHandlesWithinFourPixelsLeftAndTopFirst) {
  SetGrid(1000, 1000, 16, 16);
  Sel.Place({100, 100, 300, 200});
  EXPECT_EQ(Sel.HitTest(104, 104), selSizeTopLeft);
  EXPECT_EQ(Sel.HitTest(100, 196), selSizeBottomLeft);
  EXPECT_EQ(Sel.HitTest(102, 150), selSizeLeft);
  EXPECT_EQ(Sel.HitTest(296, 100), selSizeTopRight);
  EXPECT_EQ(Sel.HitTest(300, 200), selSizeBottomRight);
  EXPECT_EQ(Sel.HitTest(298, 150), selSizeRight);
  EXPECT_EQ(Sel.HitTest(200, 104), selSizeTop);
  EXPECT_EQ(Sel.HitTest(200, 196), selSizeBottom);
  EXPECT_EQ(Sel.HitTest(105, 105), selMoving);
  EXPECT_EQ(Sel.HitTest(295, 195), selMoving);
  EXPECT_EQ(Sel.HitTest(99, 150), selNone);
  EXPECT_EQ(Sel.HitTest(301, 150), selNone);
  EXPECT_EQ(Sel.HitTest(200, 201), selNone);

  // Six pixels wide and high: where a point is near both edges, left and top win.
  Sel.Place({100, 100, 106, 106});
  EXPECT_EQ(Sel.HitTest(103, 103), selSizeTopLeft);
  EXPECT_EQ(Sel.HitTest(105, 103), selSizeTopRight);
  EXPECT_EQ(Sel.HitTest(103, 106), selSizeBottomLeft);
}

TEST_F(SelectionTest, PointerFollowsHitTestOnlyWhileIdleAndNoButtonHeld) {
  SetGrid(1000, 1000, 16, 16);
  Drag(96, 96, 300, 200);
  Host.Pointer.reset();
  Sel.MouseMove(300, 150, false, TTrimModeKind::Free);
  EXPECT_EQ(Host.Pointer, TPointerShape::SizeHorizontal);
  Sel.MouseMove(96, 200, false, TTrimModeKind::Free);
  EXPECT_EQ(Host.Pointer, TPointerShape::SizeDiagonalNeSw);
  Sel.MouseMove(300, 200, false, TTrimModeKind::Free);
  EXPECT_EQ(Host.Pointer, TPointerShape::SizeDiagonalNwSe);
  Sel.MouseMove(200, 96, false, TTrimModeKind::Free);
  EXPECT_EQ(Host.Pointer, TPointerShape::SizeVertical);
  Sel.MouseMove(200, 150, false, TTrimModeKind::Free);
  EXPECT_EQ(Host.Pointer, TPointerShape::Arrow);
  Sel.MouseMove(-20, 150, false, TTrimModeKind::Free);
  EXPECT_EQ(Host.Pointer, TPointerShape::Arrow);
  Host.Pointer.reset();
  Sel.MouseMove(300, 150, true, TTrimModeKind::Free);
  EXPECT_FALSE(Host.Pointer);
}

TEST_F(SelectionTest, DragSnapsLeftAndTopToTheGridAndLeavesRightAndBottomFree) {
  SetGrid(1000, 800, 16, 16);
  Sel.MouseDown(200, 200);
  EXPECT_EQ(Sel.SelectionState(), selCreating);
  EXPECT_EQ(Sel.DragStartRect(), (TTrimRect{200, 200, 200, 200}));
  EXPECT_TRUE(Host.Frames.empty());
  EXPECT_FALSE(Host.CommandsEnabled);
  Sel.MouseMove(520, 300, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{192, 192, 520, 300}));
  ExpectOneFrameOnPicture();
  // Back past the anchor: the pointer's side snaps, the anchor becomes right and bottom.
  Sel.MouseMove(150, 120, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{144, 112, 200, 200}));
  ExpectOneFrameOnPicture();
  Sel.MouseUp(TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionState(), selIdle);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{144, 112, 200, 200}));
  EXPECT_EQ(Host.CommandsEnabled, true);
  EXPECT_EQ(Host.Pointer, TPointerShape::Arrow);
  EXPECT_EQ(Host.Information, "[ 145, 113] - [ 200, 200] (  56,  88)");
  ExpectOneFrameOnPicture();
}

TEST_F(SelectionTest, PresetRatioFollowsTheCornerOnThePointersSide) {
  SetGrid(1000, 800, 16, 16);
  Sel.SetAspect(3, 2);
  // Width leads: 328 × 2 ÷ 3 = 218 > 108, so the bottom becomes 192 + ⌈218.67⌉.
  Drag(200, 200, 520, 300, TTrimModeKind::Preset);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{192, 192, 520, 411}));

  // Up and to the left of the anchor the top-left rule moves the left edge off the grid.
  Sel.MouseDown(900, 700);
  Sel.MouseMove(820, 500, true, TTrimModeKind::Preset);
  // (816, 496)-(900, 700): height leads, Left = 900 − ⌈204 × 3 ÷ 2⌉ = 594.
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{594, 496, 900, 700}));
  ExpectOneFrameOnPicture();
  // The release puts it on the grid line where a trim of it starts, keeping the anchor.
  Sel.MouseUp(TTrimModeKind::Preset);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{592, 496, 900, 700}));
  ExpectOneFrameOnPicture();

  // The same drags are free in the two built-in modes, whatever KeepAspect says.
  Sel.SetKeepAspect(true);
  Drag(200, 200, 520, 300, TTrimModeKind::FixedRatio);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{192, 192, 520, 300}));
  EXPECT_EQ(Sel.AspectX(), 328);
  EXPECT_EQ(Sel.AspectY(), 108);
  Sel.SetAspect(3, 2);
  Sel.MouseDown(900, 700);
  Sel.MouseUp(TTrimModeKind::Free);
  Drag(200, 200, 520, 300, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{192, 192, 520, 300}));
  EXPECT_EQ(Sel.AspectX(), 3);
}

TEST_F(SelectionTest, AnchorIsAtLeastOneAndSmallestSelectionIsOnePixel) {
  // 1/8 of a picture with 8-pixel MCUs: one view pixel per MCU.
  SetGrid(125, 100, 1, 1);
  Drag(0, 0, 40, 30);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{1, 1, 40, 30}));
  EXPECT_EQ(Host.Information, "[   2,   2] - [  40,  30] (  39,  29)");

  SetGrid(1000, 800, 16, 16);
  Sel.MouseDown(100, 100);
  Sel.MouseMove(100, 100, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 100, 100}));
  Sel.MouseMove(96, 96, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 100, 100}));
  Sel.MouseUp(TTrimModeKind::Free);
  Sel.MouseDown(96, 500);
  Sel.MouseMove(96, 500, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 496, 97, 500}));
  ExpectOneFrameOnPicture();
}

TEST_F(SelectionTest, OnePixelRuleNeverReachesBeyondThePicture) {
  SetGrid(640, 480, 16, 16);
  // Pressed beyond the bottom-right corner (both edges on the grid) and dragged along it.
  Sel.MouseDown(700, 500);
  Sel.MouseMove(660, 490, true, TTrimModeKind::Free);
  Sel.MouseUp(TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{624, 464, 640, 480}));
  ExpectOneFrameOnPicture();
  // Along the bottom edge in a preset: the row inside the picture leads.
  Sel.SetAspect(3, 2);
  Sel.MouseDown(0, 480);
  Sel.MouseMove(320, 480, true, TTrimModeKind::Preset);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 464, 24, 480}));
}

TEST_F(SelectionTest, ClickWithoutDragRemovesTheSelection) {
  SetGrid(1000, 800, 16, 16);
  Drag(96, 96, 300, 200);
  ASSERT_EQ(Host.CommandsEnabled, true);
  Host.Pointer.reset();
  Sel.MouseDown(600, 600);
  EXPECT_TRUE(Host.Frames.empty());
  EXPECT_FALSE(Host.Information.empty());
  Sel.MouseUp(TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionState(), selNone);
  EXPECT_TRUE(Host.Information.empty());
  EXPECT_EQ(Host.CommandsEnabled, false);
  EXPECT_FALSE(Host.Pointer);

  // A right-button drag only moves the pointer: the release removes the selection as well.
  Drag(96, 96, 300, 200);
  Sel.MouseDown(600, 600);
  Sel.MouseMove(700, 700, false, TTrimModeKind::Free);
  Sel.MouseUp(TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionState(), selNone);
  ExpectOneFrameOnPicture();
}

TEST_F(SelectionTest, SecondButtonDuringACreationLeavesNoTrace) {
  SetGrid(1000, 800, 16, 16);
  Sel.MouseDown(100, 100);
  Sel.MouseMove(400, 300, true, TTrimModeKind::Free);
  // Outside the rectangle being drawn: a new creation starts from there.
  Sel.MouseDown(600, 600);
  EXPECT_TRUE(Host.Frames.empty());
  Sel.MouseMove(700, 700, true, TTrimModeKind::Free);
  Sel.MouseUp(TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{592, 592, 700, 700}));
  ExpectOneFrameOnPicture();
}

TEST_F(SelectionTest, MoveGoesInWholeMcusAndSnapsAfterThePushBack) {
  SetGrid(1000, 805, 16, 16);
  Drag(96, 96, 300, 200);
  Sel.MouseDown(150, 150);
  EXPECT_EQ(Sel.SelectionState(), selMoving);
  EXPECT_EQ(Sel.MoveGrabPoint(), (TGrabPoint{144, 144}));
  Sel.MouseMove(170, 165, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{112, 112, 316, 216}));
  // Far beyond the top-left corner: held at the origin.
  Sel.MouseMove(-500, -30, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 204, 104}));
  // Against the bottom edge, which is off the grid: off the grid while dragging...
  Sel.MouseMove(150, 900, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 701, 300, 805}));
  ExpectOneFrameOnPicture();
  // ...and shifted up onto it at release, keeping its size.
  Sel.MouseUp(TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 688, 300, 792}));
  EXPECT_EQ(Sel.SelectionState(), selIdle);
  ExpectOneFrameOnPicture();
}

TEST_F(SelectionTest, ResizeKeepsOneMcuAtLeftAndTopAndOnePixelAtRightAndBottom) {
  SetGrid(1000, 800, 16, 16);
  Drag(96, 96, 300, 200);
  Sel.MouseDown(96, 96);
  ASSERT_EQ(Sel.SelectionState(), selSizeTopLeft);
  Sel.MouseMove(900, 900, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{272, 176, 300, 200}));
  Sel.MouseMove(-40, 37, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 32, 300, 200}));
  Sel.MouseUp(TTrimModeKind::Free);

  Sel.MouseDown(300, 200);
  ASSERT_EQ(Sel.SelectionState(), selSizeBottomRight);
  Sel.MouseMove(-100, -100, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 32, 1, 33}));
  Sel.MouseMove(5000, 5000, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 32, 1000, 800}));
  Sel.MouseUp(TTrimModeKind::Free);
  ExpectOneFrameOnPicture();

  // The right edge handle moves only the right edge.
  Sel.Place({0, 0, 600, 400});
  Sel.MouseDown(598, 200);
  ASSERT_EQ(Sel.SelectionState(), selSizeRight);
  Sel.MouseMove(333, 50, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 333, 400}));
}

TEST_F(SelectionTest, KeptRatioFollowsTheGrabbedHandle) {
  SetGrid(1000, 500, 16, 16);
  Sel.SetAspect(3, 2);
  Sel.SetKeepAspect(true);
  Sel.Place({96, 96, 396, 296});
  Sel.MouseDown(396, 200);
  ASSERT_EQ(Sel.SelectionState(), selSizeRight);
  Sel.MouseMove(496, 200, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 496, 363}));
  // Beyond the bottom: the bottom is pinned and the right edge follows the height.
  Sel.MouseMove(990, 200, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 702, 500}));
  Sel.MouseUp(TTrimModeKind::Free);

  Sel.Place({96, 96, 396, 296});
  Sel.MouseDown(200, 296);
  ASSERT_EQ(Sel.SelectionState(), selSizeBottom);
  Sel.MouseMove(200, 396, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 546, 396}));
  Sel.MouseUp(TTrimModeKind::Free);

  // The left edge keeps the top and lets the bottom follow the width.
  Sel.Place({96, 96, 396, 296});
  Sel.MouseDown(97, 200);
  ASSERT_EQ(Sel.SelectionState(), selSizeLeft);
  Sel.MouseMove(200, 200, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{192, 96, 396, 232}));
  Sel.MouseUp(TTrimModeKind::Free);
  ExpectOneFrameOnPicture();

  // Without KeepAspect the same resize is free.
  Sel.SetKeepAspect(false);
  Sel.Place({96, 96, 396, 296});
  Sel.MouseDown(396, 200);
  Sel.MouseMove(496, 200, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 496, 296}));
}

TEST_F(SelectionTest, RatioRulesThatRoundUpStayInsideThePicture) {
  // The top-left rule would set Left = 10 − ⌈7 × 3 ÷ 2⌉ = −1.
  SetGrid(50, 50, 1, 1);
  Sel.SetAspect(3, 2);
  Sel.SetKeepAspect(true);
  Sel.Place({4, 2, 10, 7});
  Sel.MouseDown(4, 2);
  ASSERT_EQ(Sel.SelectionState(), selSizeTopLeft);
  Sel.MouseMove(0, 2, true, TTrimModeKind::Free);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 10, 7}));
  Sel.MouseUp(TTrimModeKind::Free);
  ExpectOneFrameOnPicture();

  // The bottom-left rule where the height leads computes the bottom without a bound.
  SetGrid(20, 13, 1, 1);
  Sel.Place({10, 0, 20, 13});
  Sel.MouseDown(10, 13);
  ASSERT_EQ(Sel.SelectionState(), selSizeBottomLeft);
  Sel.MouseMove(0, 13, true, TTrimModeKind::Free);
  // Bottom = 0 + ⌈20 × 2 ÷ 3⌉ = 14 would pass the bottom edge.
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 20, 13}));
}

TEST_F(SelectionTest, RatioWithAZeroOrNegativeTermIsNotKept) {
  SetGrid(1000, 800, 16, 16);
  for (const auto& [x, y] : {std::pair{0, 2}, std::pair{3, 0}, std::pair{-3, 2}, std::pair{0, 0}}) {
    Sel.MouseDown(900, 700);
    Sel.MouseUp(TTrimModeKind::Free);
    Sel.SetAspect(x, y);
    Sel.SetKeepAspect(true);
    EXPECT_FALSE(Sel.RatioUsable());
    Drag(200, 200, 520, 300, TTrimModeKind::Preset);
    EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{192, 192, 520, 300}));
    Sel.MouseDown(520, 250);
    Sel.MouseMove(600, 250, true, TTrimModeKind::Free);
    EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{192, 192, 600, 300}));
    Sel.MouseUp(TTrimModeKind::Free);
  }
}

TEST_F(SelectionTest, SelectAllCoversThePictureFromNoneOrIdleOnly) {
  SetGrid(125, 114, 1, 1);
  EXPECT_TRUE(Sel.SelectAll());
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 125, 114}));
  EXPECT_EQ(Sel.SelectionState(), selIdle);
  ExpectOneFrameOnPicture();
  Sel.MouseDown(60, 60);
  ASSERT_EQ(Sel.SelectionState(), selMoving);
  EXPECT_FALSE(Sel.SelectAll());
  EXPECT_EQ(Sel.SelectionState(), selMoving);
  Sel.MouseUp(TTrimModeKind::Free);
  EXPECT_TRUE(Sel.SelectAll());
  ExpectOneFrameOnPicture();
}

TEST_F(SelectionTest, ArrowKeysMoveOrResizeByOneMcuInsideThePicture) {
  SetGrid(1000, 800, 16, 16);
  Sel.Place({96, 96, 997, 300});
  // Three pixels short of the right edge: neither a move nor a resize fits.
  Sel.ArrowKey(TArrowKey::Right, false, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 997, 300}));
  Sel.ArrowKey(TArrowKey::Right, true, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 997, 300}));
  ExpectOneFrameOnPicture();

  Sel.Place({0, 16, 40, 300});
  Sel.ArrowKey(TArrowKey::Left, false, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 16, 40, 300}));
  Sel.ArrowKey(TArrowKey::Up, false, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 40, 284}));
  Sel.ArrowKey(TArrowKey::Down, false, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 16, 40, 300}));
  Sel.ArrowKey(TArrowKey::Right, false, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{16, 16, 56, 300}));
  Sel.ArrowKey(TArrowKey::Left, false, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 16, 40, 300}));
  // Resizing stops at one pixel.
  for (int i = 0; i < 3; ++i) Sel.ArrowKey(TArrowKey::Left, true, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 16, 1, 300}));
  Sel.ArrowKey(TArrowKey::Right, true, 0, 0);
  Sel.ArrowKey(TArrowKey::Up, true, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 16, 17, 284}));
  ExpectOneFrameOnPicture();

  // The pointer is set for where it stands, as a move without a button would.
  Sel.ArrowKey(TArrowKey::Down, false, 17, 100);
  EXPECT_EQ(Host.Pointer, TPointerShape::SizeHorizontal);

  // Keys do nothing during a gesture or without a selection.
  Sel.MouseDown(8, 150);
  Sel.ArrowKey(TArrowKey::Down, false, 0, 0);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 32, 17, 300}));
}

TEST_F(SelectionTest, AdjustRoundsRightAndBottomUpToWholeMcus) {
  SetGrid(1003, 805, 16, 16);
  Sel.AdjustToMcus();
  EXPECT_TRUE(Host.Frames.empty());
  Sel.Place({96, 96, 500, 400});
  Sel.AdjustToMcus();
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 512, 400}));
  Sel.Place({96, 96, 999, 801});
  Sel.AdjustToMcus();
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 1003, 805}));
  ExpectOneFrameOnPicture();
}

TEST(SelectionInformationTest, ShowsImagePixelsCountedFromOne) {
  EXPECT_EQ(SelectionInformation({0, 0, 640, 480}), "[   1,   1] - [ 640, 480] ( 640, 480)");
  EXPECT_EQ(SelectionInformation({8, 1, 200, 100}), "[   9,   2] - [ 200, 100] ( 192,  99)");
  EXPECT_EQ(SelectionInformation({0, 0, 12345, 80}), "[   1,   1] - [12345,  80] (12345,  80)");
}

// At every rate the pointer comes in view pixels and the rectangle is kept in image pixels: the
// left and top edges still snap to the MCU grid, and an edge dragged onto the paint area's far
// edge reaches the picture's own, which a truncated view size falls short of.
TEST_F(SelectionTest, GesturesAtEveryRateSnapToTheGridAndReachTheBorder) {
  const struct {
    int32_t num, den;
    TTrimRect created;  // dragged from view (5, 5) to view (50, 40)
  } rates[] = {{1, 8, {32, 32, 400, 320}}, {1, 4, {16, 16, 200, 160}}, {1, 2, {0, 0, 100, 80}},
               {1, 1, {0, 0, 50, 40}},     {2, 1, {0, 0, 25, 20}},     {8, 1, {0, 0, 6, 5}}};
  for (const auto& rate : rates) {
    SCOPED_TRACE(std::to_string(rate.num) + "/" + std::to_string(rate.den));
    SetGrid(1203, 917, 16, 16, rate.num, rate.den);
    Sel.Clear();
    Host.Frames.clear();
    const int32_t viewWidth = 1203 * rate.num / rate.den;
    const int32_t viewHeight = 917 * rate.num / rate.den;
    Drag(5, 5, 50, 40);
    EXPECT_EQ(Sel.SelectionRect(), rate.created);
    // The bottom-right handle dragged onto the far corner, then the right and bottom edges
    // dragged past it one after the other.
    const TTrimRect view = Sel.ViewRect();
    Drag(view.Right, view.Bottom, viewWidth, viewHeight);
    EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{rate.created.Left, rate.created.Top, 1203, 917}));
    Sel.Place({0, 0, 256, 256});
    const int32_t middle = Sel.ViewRect().Bottom / 2;
    Drag(Sel.ViewRect().Right, middle, viewWidth + 3, middle);
    Drag(middle, Sel.ViewRect().Bottom, middle, viewHeight + 3);
    EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 1203, 917}));
    EXPECT_TRUE(Sel.SelectAll());
    EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 1203, 917}));
    EXPECT_EQ(Host.Information, "[   1,   1] - [1203, 917] (1203, 917)");
    ExpectOneFrameOnPicture();
  }
}

// Random gestures in every mode and on awkward grids: after each completed gesture the
// selection lies inside the picture and exactly its frame is on it.
TEST_F(SelectionTest, RandomGesturesKeepTheSelectionInsideThePicture) {
  std::mt19937 random(20261208);
  const auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const std::array modes{TTrimModeKind::Free, TTrimModeKind::FixedRatio, TTrimModeKind::Preset};
  for (int round = 0; round < 300; ++round) {
    const int32_t mw = std::array{1, 2, 8, 16, 64}[pick(0, 4)];
    const int32_t mh = std::array{1, 2, 8, 16, 64}[pick(0, 4)];
    const int32_t vw = pick(1, 400);
    const int32_t vh = pick(1, 400);
    const int32_t factor = std::array{1, 2, 8}[pick(0, 2)];
    const bool enlarged = pick(0, 1) == 1;
    SetGrid(vw, vh, mw, mh, enlarged ? factor : 1, enlarged ? 1 : factor);
    Sel.Clear();
    Host.Frames.clear();
    Sel.SetAspect(std::array{3, 2, 1524, 1074, 1, 4000, 0, -3}[pick(0, 7)],
                  std::array{2, 3, 1074, 1524, 1, 7}[pick(0, 5)]);
    for (int gesture = 0; gesture < 20; ++gesture) {
      const TTrimModeKind mode = modes[pick(0, 2)];
      Sel.SetKeepAspect(pick(0, 1) == 1);
      const int action = pick(0, 9);
      if (action == 0) {
        Sel.SelectAll();
      } else if (action == 1) {
        Sel.ArrowKey(static_cast<TArrowKey>(pick(0, 3)), pick(0, 1) == 1, 0, 0);
      } else if (action == 2) {
        Sel.AdjustToMcus();
      } else {
        Sel.MouseDown(pick(-50, vw + 50), pick(-50, vh + 50));
        for (int step = pick(0, 3); step > 0; --step) {
          Sel.MouseMove(pick(-100, vw + 100), pick(-100, vh + 100), true, mode);
        }
        Sel.MouseUp(mode);
      }
      const TTrimRect& r = Sel.SelectionRect();
      if (Sel.SelectionState() != selNone) {
        ASSERT_EQ(Sel.SelectionState(), selIdle);
        ASSERT_TRUE(0 <= r.Left && r.Left < r.Right && r.Right <= vw)
            << r.Left << ".." << r.Right << " of " << vw << " round " << round;
        ASSERT_TRUE(0 <= r.Top && r.Top < r.Bottom && r.Bottom <= vh)
            << r.Top << ".." << r.Bottom << " of " << vh << " round " << round;
        // What the selection shows is what a trim keeps: its corner already on the engine's grid.
        ASSERT_EQ(SnapToMcuGrid(r, mw, mh), r) << "round " << round;
      }
      ExpectOneFrameOnPicture();
    }
  }
}

}  // namespace
}  // namespace tarvo
