// The paint area draws exposed parts on their own; they must agree with one another and with the
// view-to-image mapping, at every rate, or scrolling would leave seams.
#include <gtest/gtest.h>

#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "PictureView.h"
#include "ViewMapping.h"

namespace tarvo {
namespace {

// Every pixel distinct enough to tell neighbours apart.
QImage TestPicture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    uchar* row = image.scanLine(y);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<uchar>(x);
      row[x * 3 + 1] = static_cast<uchar>(y);
      row[x * 3 + 2] = static_cast<uchar>((x >> 8) | ((y >> 8) << 4));
    }
  }
  return image;
}

QRgb SourcePixel(const QImage& picture, int x, int y) { return picture.pixel(x, y) | 0xFF000000u; }

TEST(RenderViewRegion, ShrinkingDropsAndFillsTheTruncatedAreaExactly) {
  const QImage picture = TestPicture(1001, 37);
  TViewMapping view;
  view.SetPicture(1001, 37, 1, 1);
  view.SetRateIndex(0);
  const QSize size(view.ViewWidth(), view.ViewHeight());
  ASSERT_EQ(size, QSize(125, 4));
  const QImage out = RenderViewRegion(picture, size, QRect(QPoint(0, 0), size));
  ASSERT_EQ(out.size(), size);
  for (int x = 0; x < size.width(); ++x) {
    // 1001 / 125 is just over 8: the view column and the mapping differ by less than a view pixel.
    const int column = x * 1001 / 125;
    EXPECT_LT(column - view.ToImage(x), 8);
    EXPECT_EQ(out.pixel(x, 3), SourcePixel(picture, column, 3 * 37 / 4));
  }
}

TEST(RenderViewRegion, EnlargingRepeatsPixelsAsTheMappingDoes) {
  const QImage picture = TestPicture(40, 30);
  TViewMapping view;
  view.SetPicture(40, 30, 1, 1);
  view.SetRateIndex(6);
  const QSize size(view.ViewWidth(), view.ViewHeight());
  const QRect region(101, 57, 90, 70);
  const QImage out = RenderViewRegion(picture, size, region);
  for (int y = 0; y < region.height(); ++y) {
    for (int x = 0; x < region.width(); ++x) {
      ASSERT_EQ(out.pixel(x, y), SourcePixel(picture, view.ToImage(region.left() + x),
                                             view.ToImage(region.top() + y)));
    }
  }
}

TEST(RenderViewRegion, PartsJoinWithoutSeams) {
  const QImage picture = TestPicture(203, 117);
  for (const QSize size : {QSize(25, 14), QSize(203, 117), QSize(812, 468), QSize(101, 58)}) {
    const QImage whole = RenderViewRegion(picture, size, QRect(QPoint(0, 0), size));
    const QRect part(size.width() / 3, size.height() / 5, size.width() / 2, size.height() / 2);
    const QImage piece = RenderViewRegion(picture, size, part);
    EXPECT_EQ(piece, whole.copy(part)) << size.width();
  }
}

TEST(PaintBox, PaintsThePictureOrNothing) {
  TScrollBox box;
  box.resize(300, 200);
  const QImage picture = TestPicture(64, 48);
  box.PaintBox()->SetPicture(picture);
  box.SetViewSize(128, 96);
  bool overlay = false;
  QObject::connect(box.PaintBox(), &TPaintBox::PaintOverlay,
                   [&](QPainter&, const QRect&) { overlay = true; });
  const QImage shown = box.PaintBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(overlay);
  EXPECT_EQ(shown, RenderViewRegion(picture, QSize(128, 96), QRect(0, 0, 128, 96)));

  overlay = false;
  box.PaintBox()->SetPicture(QImage());
  box.PaintBox()->grab();
  EXPECT_FALSE(overlay);
  // The paint area keeps its last size after the picture is gone.
  EXPECT_EQ(box.PaintBox()->size(), QSize(128, 96));
}

TEST(ScrollBox, WheelNotchScrollsOneLineStepDownOrUp) {
  TScrollBox box;
  box.resize(300, 400);
  box.show();
  box.SetViewSize(2000, 5000);
  const int line = VerticalScrollSteps(box.viewport()->height()).Line;
  ASSERT_GT(line, 0);
  QScrollBar* bar = box.verticalScrollBar();
  box.WheelDelta(-120);
  EXPECT_EQ(bar->value(), line);
  box.WheelDelta(-60);
  EXPECT_EQ(bar->value(), line);
  box.WheelDelta(-60);
  EXPECT_EQ(bar->value(), 2 * line);
  box.WheelDelta(240);
  EXPECT_EQ(bar->value(), 0);
  box.WheelDelta(120);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(box.horizontalScrollBar()->value(), 0);
  box.WheelScroll(100000);
  EXPECT_EQ(bar->value(), bar->maximum());
  // Keys never scroll it: they move the selection.
  EXPECT_EQ(box.focusPolicy(), Qt::NoFocus);
}

TEST(ScrollBox, MouseReportsPaintAreaCoordinates) {
  TScrollBox box;
  box.resize(300, 300);
  box.show();
  box.SetViewSize(1000, 1000);
  box.verticalScrollBar()->setValue(200);
  QSignalSpy downs(&box, &TScrollBox::MouseDown);
  QSignalSpy moves(&box, &TScrollBox::MouseMove);
  // On the scrolled paint area: paint-area coordinates, scroll offset included by the receiver.
  QTest::mousePress(box.PaintBox(), Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 240));
  ASSERT_EQ(downs.size(), 1);
  EXPECT_EQ(downs[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
  EXPECT_EQ(downs[0][2].value<Qt::KeyboardModifiers>(), Qt::ShiftModifier);
  EXPECT_EQ(downs[0][3].toInt(), 30);
  EXPECT_EQ(downs[0][4].toInt(), 240);
  // On the view beside a narrow paint area: mapped through the scroll position.
  box.SetViewSize(50, 1000);
  box.verticalScrollBar()->setValue(200);
  QTest::mouseMove(box.viewport(), QPoint(120, 90));
  ASSERT_FALSE(moves.isEmpty());
  EXPECT_EQ(moves.last()[2].toInt(), 120);
  EXPECT_EQ(moves.last()[3].toInt(), 290);
}

}  // namespace
}  // namespace tarvo
