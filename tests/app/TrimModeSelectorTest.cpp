#include "TrimModeSelector.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QImage>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <algorithm>
#include <limits>

#include "RecordingSelectionHost.h"
#include "TrimModeCombo.h"

namespace tarvo {
namespace {

using namespace Qt::StringLiterals;

constexpr int kLandscapeL = 2;  // "Ｌ版(横)" 1524 : 1074
constexpr int kPortraitL = 3;   // "Ｌ版(縦)" 1074 : 1524
constexpr int kCamera = 4;      // "カメラ(横)" 3 : 2
constexpr int kCameraTall = 5;  // "カメラ(縦)" 2 : 3

TPresetView ViewOf(int32_t width, int32_t height) { return {width, height}; }

TTrimModePreset Preset(int32_t x, int32_t y, bool extendSize, bool fixAspectRatio = true) {
  return {u"test"_s, QString(), x, y, extendSize, fixAspectRatio};
}

TEST(PresetRectTest, LargestRectangleOfTheRatioFillsOneSide) {
  const TTrimModeList modes;
  EXPECT_EQ(PresetRect(modes[kLandscapeL], ViewOf(3000, 2000)), (TTrimRect{0, 0, 2838, 2000}));
  EXPECT_EQ(PresetRect(modes[kPortraitL], ViewOf(2000, 3000)), (TTrimRect{0, 0, 2000, 2838}));
  EXPECT_EQ(PresetRect(modes[kCameraTall], ViewOf(3000, 2000)), (TTrimRect{0, 0, 1334, 2000}));
  EXPECT_EQ(PresetRect(modes[kCamera], ViewOf(4000, 3000)), (TTrimRect{0, 0, 4000, 2667}));
  // Just narrower than the ratio: ⌈992 × 2 ÷ 3⌉ = 662 is the picture's whole height.
  EXPECT_EQ(PresetRect(modes[kCamera], ViewOf(992, 662)), (TTrimRect{0, 0, 992, 662}));
}

TEST(PresetRectTest, SizeInPixelsOnlyOnAStrictlyLargerPicture) {
  const TTrimModePreset landscape = Preset(1524, 1074, false);
  EXPECT_EQ(PresetRect(landscape, ViewOf(3000, 2000)), (TTrimRect{0, 0, 1524, 1074}));
  EXPECT_EQ(PresetRect(landscape, ViewOf(1524, 2000)), (TTrimRect{0, 0, 1524, 1074}));
  EXPECT_EQ(PresetRect(landscape, ViewOf(1200, 2000)), (TTrimRect{0, 0, 1200, 846}));

  const TTrimModePreset vga = Preset(640, 480, false);
  EXPECT_EQ(PresetRect(vga, ViewOf(1600, 1200)), (TTrimRect{0, 0, 640, 480}));
  EXPECT_EQ(PresetRect(vga, ViewOf(640, 480)), (TTrimRect{0, 0, 640, 480}));
  EXPECT_EQ(PresetRect(vga, ViewOf(641, 480)), (TTrimRect{0, 0, 640, 480}));
  EXPECT_EQ(PresetRect(vga, ViewOf(800, 480)), (TTrimRect{0, 0, 640, 480}));

  EXPECT_EQ(PresetRect(Preset(4, 3, false), ViewOf(800, 600)), (TTrimRect{0, 0, 4, 3}));
}

TEST(PresetRectTest, NothingIsPlacedForAnUnusableRatioOrAnEmptyView) {
  EXPECT_FALSE(PresetRect(Preset(0, 3, true), ViewOf(800, 600)));
  EXPECT_FALSE(PresetRect(Preset(4, 0, false), ViewOf(800, 600)));
  EXPECT_FALSE(PresetRect(Preset(-4, 3, true), ViewOf(800, 600)));
  EXPECT_FALSE(PresetRect(Preset(4, 3, true), ViewOf(0, 600)));

  constexpr int32_t kHuge = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(PresetRect(Preset(kHuge, 1, false), ViewOf(65535, 65535)),
            (TTrimRect{0, 0, 65535, 1}));
  EXPECT_EQ(PresetRect(Preset(1, kHuge, true), ViewOf(65535, 65535)),
            (TTrimRect{0, 0, 1, 65535}));
}

class ChangeTrimModeTest : public ::testing::Test {
 protected:
  void Open(int32_t width, int32_t height, int32_t mcu = 16) {
    View = ViewOf(width, height);
    Sel.SetGrid({width, height, mcu, mcu});
  }

  TRecordingHost Host;
  TSelection Sel{Host};
  TTrimModeList Modes;
  TPresetView View;
};

TEST_F(ChangeTrimModeTest, BuiltInModesKeepTheSelectionAndSetTheLock) {
  Open(1000, 800);
  Sel.Place({96, 96, 396, 296});
  ChangeTrimMode(Sel, TTrimModeList::kFixedRatioMode, Modes, View);
  EXPECT_TRUE(Sel.KeepAspect());
  EXPECT_EQ(Sel.AspectX(), 300);
  EXPECT_EQ(Sel.AspectY(), 200);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 396, 296}));
  ChangeTrimMode(Sel, TTrimModeList::kFreeMode, Modes, View);
  EXPECT_FALSE(Sel.KeepAspect());
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 396, 296}));
  EXPECT_EQ(Host.Frames.size(), 1u);
}

TEST_F(ChangeTrimModeTest, PresetReplacesTheSelection) {
  Open(3000, 2000);
  Sel.Place({96, 96, 396, 296});
  Host.CommandsEnabled.reset();
  ChangeTrimMode(Sel, kLandscapeL, Modes, View);
  EXPECT_EQ(Sel.SelectionState(), selIdle);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 2838, 2000}));
  EXPECT_EQ(Sel.AspectX(), 1524);
  EXPECT_EQ(Sel.AspectY(), 1074);
  EXPECT_TRUE(Sel.KeepAspect());
  EXPECT_EQ(Host.Frames, (std::set<std::array<int32_t, 4>>{{0, 0, 2838, 2000}}));
  EXPECT_EQ(Host.CommandsEnabled, true);

  // Without a selection the preset places one as well.
  Sel.Clear();
  Host.Frames.clear();
  ChangeTrimMode(Sel, kCameraTall, Modes, View);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 1334, 2000}));
  EXPECT_EQ(Host.Frames.size(), 1u);

  // FixAspectRatio governs resizes only.
  Modes.Append(Preset(3, 2, true, false));
  ChangeTrimMode(Sel, Modes.Count() - 1, Modes, View);
  EXPECT_FALSE(Sel.KeepAspect());
  EXPECT_EQ(TrimModeKindAt(Modes.Count() - 1, Modes), TTrimModeKind::Preset);
}

TEST_F(ChangeTrimModeTest, IndexOutsideTheListSelectsFreely) {
  Open(1000, 800);
  Sel.Place({96, 96, 396, 296});
  Sel.SetKeepAspect(true);
  for (const int index : {-1, Modes.Count(), 1000}) {
    EXPECT_EQ(TrimModeKindAt(index, Modes), TTrimModeKind::Free);
    ChangeTrimMode(Sel, index, Modes, View);
    EXPECT_FALSE(Sel.KeepAspect());
    EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 396, 296}));
  }
}

TEST_F(ChangeTrimModeTest, PresetWithAZeroTermPlacesAndKeepsNothing) {
  Open(1000, 800);
  Modes.Append(Preset(0, 2, true));
  Sel.Place({96, 96, 396, 296});
  ChangeTrimMode(Sel, Modes.Count() - 1, Modes, View);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 396, 296}));
  // Neither a resize nor a new selection divides by the zero term.
  Sel.MouseDown(396, 200);
  Sel.MouseMove(500, 200, true, TTrimModeKind::Preset);
  Sel.MouseUp(TTrimModeKind::Preset);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{96, 96, 500, 296}));
  Sel.MouseDown(600, 600);
  Sel.MouseMove(700, 650, true, TTrimModeKind::Preset);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{592, 592, 700, 650}));
}

TEST_F(ChangeTrimModeTest, SelectAllEndsWithThePresetOrTheWholePicture) {
  Open(3000, 2000);
  ASSERT_TRUE(Sel.SelectAll());
  ChangeTrimMode(Sel, TTrimModeList::kFreeMode, Modes, View);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 3000, 2000}));
  ASSERT_TRUE(Sel.SelectAll());
  ChangeTrimMode(Sel, TTrimModeList::kFixedRatioMode, Modes, View);
  EXPECT_EQ(Sel.AspectX(), 3000);
  EXPECT_EQ(Sel.AspectY(), 2000);
  ASSERT_TRUE(Sel.SelectAll());
  ChangeTrimMode(Sel, kCameraTall, Modes, View);
  EXPECT_EQ(Sel.SelectionRect(), (TTrimRect{0, 0, 1334, 2000}));
  EXPECT_EQ(Host.Frames, (std::set<std::array<int32_t, 4>>{{0, 0, 1334, 2000}}));
}

TEST(TrimModeComboTest, RebuildMirrorsTheListAndKeepsTheChosenItem) {
  TTrimModeList modes;
  TTrimModeCombo combo;
  combo.setCurrentIndex(-1);
  combo.Rebuild(modes);
  ASSERT_EQ(combo.count(), 6);
  EXPECT_EQ(combo.currentIndex(), 0);
  EXPECT_EQ(combo.itemText(2), u"Ｌ版(横)"_s);
  const QFontMetrics metrics(combo.font());
  EXPECT_EQ(combo.ModeTitleWidth(), metrics.horizontalAdvance(u"カメラ(横)"_s));
  EXPECT_EQ(combo.ModeDropDownWidth(),
            combo.ModeTitleWidth() +
                std::max(metrics.horizontalAdvance(u"(127mm x 89mm / 1524 x 1074)"_s),
                         metrics.horizontalAdvance(u"一般的なカメラの比率 (3:2)"_s)));

  combo.setCurrentIndex(5);
  modes.Remove(5);
  modes.Remove(4);
  combo.Rebuild(modes);
  EXPECT_EQ(combo.count(), 4);
  EXPECT_EQ(combo.currentIndex(), 3);
  combo.setCurrentIndex(2);
  combo.Rebuild(modes);
  EXPECT_EQ(combo.currentIndex(), 2);

  const QSize item =
      combo.itemDelegate()->sizeHint(QStyleOptionViewItem(), combo.model()->index(2, 0));
  EXPECT_EQ(item.height(), std::max(TTrimModeItemDelegate::kItemHeight, metrics.height()));
}

TEST(TrimModeComboTest, TheOpenListShowsEightItemsAtATime) {
  TTrimModeCombo combo;
  for (int item = 0; item < 20; ++item) combo.addItem(QString::number(item));
  combo.show();
  combo.showPopup();
  QAbstractItemView* list = combo.view();
  int shown = 0;
  for (int row = 0; row < combo.count(); ++row) {
    if (list->viewport()->rect().contains(list->visualRect(combo.model()->index(row, 0)))) ++shown;
  }
  combo.hidePopup();
  EXPECT_EQ(shown, TToolbarCombo::kDropDownCount);
}

TEST(TrimModeComboTest, ExplanationsStartSixPixelsAfterTheWidestTitle) {
  QImage image(200, 15, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    DrawTrimModeItem(painter, image.rect(), u"ＡＢ"_s, u"ＣＤ"_s, 80, Qt::black, Qt::white);
  }
  const auto columnHasInk = [&image](int x) {
    for (int y = 0; y < image.height(); ++y) {
      if (image.pixel(x, y) != qRgb(255, 255, 255)) return true;
    }
    return false;
  };
  int firstInkAfterTitle = -1;
  for (int x = 60; x < image.width() && firstInkAfterTitle < 0; ++x) {
    if (columnHasInk(x)) firstInkAfterTitle = x;
  }
  EXPECT_GE(firstInkAfterTitle, 86);
  EXPECT_LT(firstInkAfterTitle, 92);
}

}  // namespace
}  // namespace tarvo
