#include "TrimModePreset.h"

#include <gtest/gtest.h>

#include "ShiftJisText.h"

namespace tarvo {

using namespace Qt::StringLiterals;

namespace {

TEST(TrimModeList, StartsWithTheSixBuiltInPresets) {
  const TTrimModeList modes;
  ASSERT_EQ(modes.Count(), 6);
  const TTrimModePreset expected[] = {
      {u"自由"_s, "", 0, 0, true, true},
      {u"固定比率"_s, "", 0, 0, true, true},
      {u"\uFF2C版(横)"_s, "(127mm x 89mm / 1524 x 1074)", 1524, 1074, true, true},
      {u"\uFF2C版(縦)"_s, "(89mm x 127mm / 1074 x 1524)", 1074, 1524, true, true},
      {u"カメラ(横)"_s, u"一般的なカメラの比率 (3:2)"_s, 3, 2, true, true},
      {u"カメラ(縦)"_s, u"一般的なカメラの比率 (2:3)"_s, 2, 3, true, true},
  };
  for (int i = 0; i < modes.Count(); ++i) EXPECT_EQ(modes[i], expected[i]) << i;
}

TEST(TrimModeList, BuiltInModesCannotBeReplacedOrRemoved) {
  TTrimModeList modes;
  EXPECT_FALSE(modes.Remove(TTrimModeList::kFreeMode));
  EXPECT_FALSE(modes.Replace(TTrimModeList::kFixedRatioMode, {}));
  EXPECT_FALSE(modes.Remove(modes.Count()));
  EXPECT_EQ(modes, TTrimModeList());

  EXPECT_TRUE(modes.Remove(2));
  EXPECT_EQ(modes.Count(), 5);
  EXPECT_EQ(modes[2].AspectRatio_X, 1074);
  modes.KeepBuiltInModesOnly();
  EXPECT_EQ(modes.Count(), 2);
  EXPECT_FALSE(modes.Remove(2));
  SetDefaultTrimModes(modes);
  EXPECT_EQ(modes, TTrimModeList());
}

TEST(TrimModeList, FindRefusesIndexesOutsideTheList) {
  const TTrimModeList modes;
  EXPECT_EQ(modes.Find(-1), nullptr);
  EXPECT_EQ(modes.Find(6), nullptr);
  ASSERT_NE(modes.Find(5), nullptr);
  EXPECT_EQ(modes.Find(5)->AspectRatio_Y, 3);
}

TEST(TrimModeList, TextsEnteringTheListAreCutTo255ShiftJisBytes) {
  TTrimModeList modes;
  modes.Append({QString(300, u'あ'), QString(300, u'x'), 1, 1, false, false});
  EXPECT_EQ(modes[6].Title, QString(127, u'あ'));
  EXPECT_EQ(modes[6].Explanation, QString(255, u'x'));
  EXPECT_TRUE(modes.Replace(6, {QString(200, u'ｱ') + QString(100, u'ｲ'), "", 1, 1, true, true}));
  EXPECT_EQ(modes[6].Title, QString(200, u'ｱ') + QString(55, u'ｲ'));
}

TEST(ShiftJisText, CountsSingleAndDoubleByteCharacters) {
  EXPECT_EQ(ShiftJisByteLength(u"abc"), 3);
  EXPECT_EQ(ShiftJisByteLength(u"ｷｬﾝｾﾙ"), 5);  // half-width katakana
  EXPECT_EQ(ShiftJisByteLength(u"Ｌ版(横)"), 8);
  EXPECT_EQ(ShiftJisByteLength(u"\U0001F600"), 2);  // one character, not two
}

TEST(ShiftJisText, CutsBetweenCharacters) {
  // 254 bytes of ASCII leave no room for a two-byte character.
  const QString ascii(254, u'a');
  EXPECT_EQ(CutToShiftJisBytes(ascii + u"あい"_s), ascii);
  EXPECT_EQ(CutToShiftJisBytes(ascii + u"ｱい"_s), ascii + u"ｱ"_s);
  const QString emoji = QString::fromUcs4(U"\U0001F600");
  EXPECT_EQ(CutToShiftJisBytes(QString(253, u'a') + emoji + emoji), QString(253, u'a') + emoji);
  EXPECT_EQ(CutToShiftJisBytes(ascii + emoji), ascii);
  EXPECT_EQ(CutToShiftJisBytes(u"短い"_s), u"短い"_s);
}

}  // namespace
}  // namespace tarvo
