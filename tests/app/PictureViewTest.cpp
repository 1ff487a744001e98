// The paint area draws exposed parts on their own; they must agree with one another and with the
// view-to-image mapping, at every rate, or scrolling would leave seams.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <QApplication>
#include <QMouseEvent>
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

TEST(RenderViewRegion, EachViewPixelShowsThePixelTheMappingGives) {
  struct Case {
    int rateIndex;
    int reduction;  // of the picture painted
  };
  // Reduced rates with their own picture (one to one), with the full picture (every Den-th
  // pixel), and enlarged rates (blocks); 1001 x 37 is off every grid.
  const Case cases[] = {{0, 8}, {1, 4}, {2, 2}, {0, 1}, {3, 1}, {4, 1}, {6, 1}, {3, 4}};
  for (const Case& c : cases) {
    TViewMapping view;
    view.SetPicture(1001, 37, 1, 1);
    view.SetRateIndex(c.rateIndex);
    const QImage picture =
        TestPicture((1001 + c.reduction - 1) / c.reduction, (37 + c.reduction - 1) / c.reduction);
    const QRect region(0, 0, view.ViewWidth(), view.ViewHeight());
    const QImage out =
        RenderViewRegion(picture, view.ViewScaleNum() * c.reduction, view.ViewScaleDen(), region);
    ASSERT_EQ(out.size(), region.size());
    for (int y = 0; y < region.height(); ++y) {
      for (int x = 0; x < region.width(); ++x) {
        ASSERT_EQ(out.pixel(x, y), SourcePixel(picture, view.ToImage(x) / c.reduction,
                                               view.ToImage(y) / c.reduction))
            << c.rateIndex << " " << c.reduction << " " << x << "," << y;
      }
    }
  }
}

TEST(RenderViewRegion, PartsJoinWithoutSeams) {
  const QImage picture = TestPicture(203, 117);
  const struct {
    int num;
    int den;
  } scales[] = {{1, 8}, {1, 1}, {4, 1}, {3, 2}};
  for (const auto scale : scales) {
    const QSize size(203 * scale.num / scale.den, 117 * scale.num / scale.den);
    const QImage whole = RenderViewRegion(picture, scale.num, scale.den, QRect(QPoint(0, 0), size));
    const QRect part(size.width() / 3, size.height() / 5, size.width() / 2, size.height() / 2);
    const QImage piece = RenderViewRegion(picture, scale.num, scale.den, part);
    EXPECT_EQ(piece, whole.copy(part)) << size.width();
  }
}

TEST(PaintBox, PaintsThePictureOrNothing) {
  TScrollBox box;
  box.resize(300, 200);
  const TPicture picture{TestPicture(64, 48), QSize(256, 192), 4};
  // A picture reduced by 4 at 1/2: each of its pixels is two view pixels wide.
  box.PaintBox()->SetPicture(picture, 1, 2);
  box.SetViewSize(128, 96);
  bool overlay = false;
  QObject::connect(box.PaintBox(), &TPaintBox::PaintOverlay,
                   [&](QPainter&, const QRect&) { overlay = true; });
  const QImage shown = box.PaintBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(overlay);
  EXPECT_EQ(shown, RenderViewRegion(picture.Pixels, 2, 1, QRect(0, 0, 128, 96)));

  overlay = false;
  box.PaintBox()->SetPicture({}, 1, 1);
  box.PaintBox()->grab();
  EXPECT_FALSE(overlay);
  // The paint area keeps its last size after the picture is gone.
  EXPECT_EQ(box.PaintBox()->size(), QSize(128, 96));
}

// A patch shows over the picture as the picture mended with it would, at reduced and enlarged
// rates alike, until the next picture.
TEST(PaintBox, APatchShowsAsThePictureMendedWithIt) {
  const TPicture picture{TestPicture(64, 48), QSize(64, 48), 1};
  const TPicturePatch patch{TestPicture(13, 9).rgbSwapped(), {7, 5}, 1};
  TPicture mended = picture;
  ASSERT_TRUE(Mend(mended, patch));
  for (const auto& [num, den] : {std::pair{1, 2}, {1, 1}, {3, 1}}) {
    TScrollBox box;
    box.resize(300, 200);
    const QRect view(0, 0, 64 * num / den, 48 * num / den);
    const auto shown = [&] {
      return box.PaintBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    box.PaintBox()->SetPicture(picture, num, den);
    box.PaintBox()->SetPatch(patch);
    box.SetViewSize(view.width(), view.height());
    EXPECT_EQ(shown(), RenderViewRegion(mended.Pixels, num, den, view)) << num << '/' << den;
    box.PaintBox()->SetPicture(picture, num, den);
    EXPECT_EQ(shown(), RenderViewRegion(picture.Pixels, num, den, view)) << num << '/' << den;
  }
}

// Damage is hatched in two tones over exactly its view pixels, whatever the reduction and rate.
TEST(PaintBox, HatchesDamageOverItsViewPixelsOnly) {
  const struct {
    const char* name;
    int reduction;
    std::int32_t num, den;
    QRect view;  // where damage at (64, 32) 64 x 32 lands
  } cases[] = {
      {"reduced by 4 at 1/2", 4, 1, 2, QRect(32, 16, 32, 16)},
      {"whole at 3/1", 1, 3, 1, QRect(192, 96, 192, 96)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TScrollBox box;
    box.resize(300, 200);
    const TPicture picture{TestPicture(256 / c.reduction, 192 / c.reduction), QSize(256, 192),
                           c.reduction};
    box.PaintBox()->SetPicture(picture, c.num, c.den);
    box.SetViewSize(256 * c.num / c.den, 192 * c.num / c.den);
    const QImage plain = box.PaintBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    box.PaintBox()->SetDamage({QRect(64, 32, 64, 32)});
    const QImage shown = box.PaintBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int yellow = 0, black = 0, changedOutside = 0;
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        const QRgb pixel = shown.pixel(x, y);
        if (!c.view.contains(x, y)) {
          changedOutside += pixel != plain.pixel(x, y);
        } else {
          yellow += pixel == qRgb(255, 255, 0);
          black += pixel == qRgb(0, 0, 0);
        }
      }
    }
    EXPECT_EQ(changedOutside, 0);
    EXPECT_GT(yellow, 0);
    EXPECT_GT(black, 0);
  }
}

TEST(ScrollBox, WheelNotchScrollsOneLineStepDownOrUp) {
  TScrollBox box;
  box.resize(300, 400);
  box.show();
  box.SetViewSize(2000, 5000);
  const int line = VerticalScrollSteps(box.viewport()->height()).Line;
  ASSERT_GT(line, 0);
  QScrollBar* bar = box.verticalScrollBar();
  box.WheelDelta({0, -120});
  EXPECT_EQ(bar->value(), line);
  box.WheelDelta({0, -60});
  EXPECT_EQ(bar->value(), line);
  box.WheelDelta({0, -60});
  EXPECT_EQ(bar->value(), 2 * line);
  box.WheelDelta({0, 240});
  EXPECT_EQ(bar->value(), 0);
  box.WheelDelta({0, 120});
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(box.horizontalScrollBar()->value(), 0);
  box.WheelScroll(Qt::Vertical, 100000);
  EXPECT_EQ(bar->value(), bar->maximum());
  // Keys never scroll it: they move the selection.
  EXPECT_EQ(box.focusPolicy(), Qt::NoFocus);
}

// A tilting wheel or a touch pad's sideways travel, or the wheel with Shift, scrolls across by
// a line step of the view's width; a diagonal swipe scrolls both ways at once.
TEST(ScrollBox, SidewaysTravelAndShiftWheelScrollAcross) {
  const struct {
    QPoint delta;
    Qt::KeyboardModifiers modifiers;
    int across;  // in line steps
    int down;
  } cases[] = {
      {{-120, 0}, {}, 1, 0},
      {{0, -120}, Qt::ShiftModifier, 1, 0},
      // Already sideways from the platform: not turned a second time.
      {{-120, 0}, Qt::ShiftModifier, 1, 0},
      {{-240, -120}, {}, 2, 1},
      {{-60, 0}, {}, 0, 0},
  };
  for (const auto& c : cases) {
    TScrollBox box;
    box.resize(300, 400);
    box.show();
    box.SetViewSize(5000, 5000);
    box.horizontalScrollBar()->setValue(1000);
    box.verticalScrollBar()->setValue(1000);
    box.WheelDelta(c.delta, c.modifiers);
    EXPECT_EQ(box.horizontalScrollBar()->value(),
              1000 + c.across * VerticalScrollSteps(box.viewport()->width()).Line)
        << c.delta.x() << ',' << c.delta.y();
    EXPECT_EQ(box.verticalScrollBar()->value(),
              1000 + c.down * VerticalScrollSteps(box.viewport()->height()).Line)
        << c.delta.x() << ',' << c.delta.y();
  }
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

// Held past the bottom edge, a drag scrolls the view on and sees the pointer travel over the
// picture; back inside, or released, it stops.
TEST(ScrollBox, DragPastTheEdgeScrollsOnWhileThePointerStaysOut) {
  TScrollBox box;
  box.resize(300, 300);
  box.show();
  box.SetViewSize(2000, 2000);
  std::vector<int> moves;
  QObject::connect(
      &box, &TScrollBox::MouseMove,
      [&moves](Qt::MouseButtons, Qt::KeyboardModifiers, int, int y) { moves.push_back(y); });
  TPaintBox* area = box.PaintBox();
  QTest::mousePress(area, Qt::LeftButton, {}, QPoint(50, 50));
  QMouseEvent out(QEvent::MouseMove, QPointF(50, 400), area->mapToGlobal(QPointF(50, 400)),
                  Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(area, &out);
  for (int i = 0; i < 200 && box.verticalScrollBar()->value() <= 100; ++i) QTest::qWait(10);
  EXPECT_GT(box.verticalScrollBar()->value(), 100);
  EXPECT_EQ(box.horizontalScrollBar()->value(), 0);
  ASSERT_GE(moves.size(), 2u);
  EXPECT_GT(moves.back(), 400);
  QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(50, 400));
  const int stopped = box.verticalScrollBar()->value();
  QTest::qWait(100);
  EXPECT_EQ(box.verticalScrollBar()->value(), stopped);
}

}  // namespace
}  // namespace tarvo
