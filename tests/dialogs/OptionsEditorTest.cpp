#include "OptionsEditor.h"

#include <gtest/gtest.h>

namespace tarvo {

using namespace Qt::StringLiterals;

namespace {

TTrimModeList WithUserPresets(int count) {
  TTrimModeList modes;
  modes.KeepBuiltInModesOnly();
  for (int i = 0; i < count; ++i) modes.Append({QString("p%1").arg(i), "e", i, i, true, true});
  return modes;
}

TPresetFields Typed(const QString& title, const QString& x, const QString& y) {
  return {title, u"説明"_s, x, y, false, false};
}

class OptionsEditorTest : public testing::Test {
 protected:
  TOptionsEditor editor_;
  TTrimModeList modes_;
  TAppSettings app_;
  QString badNumber_;
};

TEST_F(OptionsEditorTest, FirstShowingListsTheUserPresetsOnly) {
  editor_.Show(modes_, app_);
  EXPECT_EQ(editor_.RowCount(), 7);
  ASSERT_NE(editor_.EntryAtRow(1), nullptr);
  EXPECT_EQ(editor_.EntryAtRow(1)->Title, u"\uFF2C版(横)"_s);
  EXPECT_EQ(editor_.EntryAtRow(4)->Title, u"カメラ(縦)"_s);
  EXPECT_EQ(editor_.EntryAtRow(5), nullptr);
  EXPECT_EQ(editor_.EntryAtRow(6), nullptr);
  EXPECT_EQ(editor_.EntryAtRow(0), nullptr);  // the header row
  EXPECT_EQ(editor_.SelectedRow(), 1);
  EXPECT_EQ(editor_.Fields(), (TPresetFields{u"\uFF2C版(横)"_s, "(127mm x 89mm / 1524 x 1074)",
                                             "1524", "1074", true, true}));
  EXPECT_TRUE(editor_.DeleteEnabled());
}

TEST_F(OptionsEditorTest, RowCountGrowsWithTheListLeavingOneBlankRow) {
  editor_.Show(WithUserPresets(6), app_);
  EXPECT_EQ(editor_.RowCount(), 8);
  EXPECT_NE(editor_.EntryAtRow(6), nullptr);
  EXPECT_EQ(editor_.EntryAtRow(7), nullptr);
}

TEST_F(OptionsEditorTest, BlankRowClearsTheFields) {
  editor_.Show(modes_, app_);
  editor_.SelectRow(6);
  EXPECT_EQ(editor_.Fields(), (TPresetFields{"", "", "", "", false, true}));
  EXPECT_FALSE(editor_.DeleteEnabled());
}

TEST_F(OptionsEditorTest, AddingFromAnyBlankRowAppendsAfterTheLastPreset) {
  editor_.Show(modes_, app_);
  editor_.SelectRow(6);
  EXPECT_EQ(editor_.Update(Typed("A5", "210", "148"), badNumber_),
            TOptionsEditor::TUpdateResult::Added);
  EXPECT_EQ(editor_.SelectedRow(), 5);
  EXPECT_EQ(editor_.RowCount(), 7);
  EXPECT_TRUE(editor_.DeleteEnabled());
  ASSERT_EQ(editor_.EditTrimModes().Count(), 7);
  EXPECT_EQ(editor_.EditTrimModes()[6], (TTrimModePreset{"A5", u"説明"_s, 210, 148, false, false}));
  EXPECT_EQ(editor_.Fields().Title, "A5");

  // The next addition needs an eighth row so that a blank one stays.
  editor_.SelectRow(6);
  editor_.Update(Typed("B5", "257", "182"), badNumber_);
  EXPECT_EQ(editor_.SelectedRow(), 6);
  EXPECT_EQ(editor_.RowCount(), 8);
  EXPECT_EQ(modes_, TTrimModeList());  // only the working copy changed
}

TEST_F(OptionsEditorTest, UpdatingReplacesTheSelectedEntryInPlace) {
  editor_.Show(modes_, app_);
  editor_.SelectRow(2);
  EXPECT_EQ(
      editor_.Update({u"長い"_s + QString(300, u'x'), "e", "0", "7", true, false}, badNumber_),
      TOptionsEditor::TUpdateResult::Updated);
  EXPECT_EQ(editor_.EditTrimModes().Count(), 6);
  const TTrimModePreset& updated = editor_.EditTrimModes()[3];
  EXPECT_EQ(updated.Title, u"長い"_s + QString(251, u'x'));
  EXPECT_EQ(updated.AspectRatio_X, 0);
  EXPECT_EQ(updated.AspectRatio_Y, 7);
  EXPECT_FALSE(updated.FixAspectRatio);
  EXPECT_EQ(editor_.SelectedRow(), 2);
}

TEST_F(OptionsEditorTest, RefusedUpdatesChangeNothing) {
  editor_.Show(modes_, app_);
  editor_.SelectRow(1);
  const TTrimModeList before = editor_.EditTrimModes();

  TPresetFields noExplanation = Typed("x", "1", "2");
  noExplanation.Explanation.clear();
  EXPECT_EQ(editor_.Update(noExplanation, badNumber_), TOptionsEditor::TUpdateResult::Incomplete);

  // A pasted number that does not fit leaves title and explanation alone as well.
  EXPECT_EQ(editor_.Update(Typed("new", "640", "99999999999"), badNumber_),
            TOptionsEditor::TUpdateResult::NotAnInteger);
  EXPECT_EQ(badNumber_, "99999999999");
  EXPECT_EQ(editor_.Update(Typed("new", "6x4", "480"), badNumber_),
            TOptionsEditor::TUpdateResult::NotAnInteger);
  EXPECT_EQ(badNumber_, "6x4");
  EXPECT_EQ(editor_.EditTrimModes(), before);

  editor_.SelectRow(6);
  EXPECT_EQ(editor_.Update(Typed("new", "1", "2147483648"), badNumber_),
            TOptionsEditor::TUpdateResult::NotAnInteger);
  EXPECT_EQ(editor_.EditTrimModes(), before);
  EXPECT_EQ(editor_.SelectedRow(), 6);
}

TEST_F(OptionsEditorTest, DeletingMovesTheNextPresetUp) {
  editor_.Show(modes_, app_);
  editor_.SelectRow(2);
  editor_.DeleteSelected();
  EXPECT_EQ(editor_.EditTrimModes().Count(), 5);
  EXPECT_EQ(editor_.SelectedRow(), 2);
  EXPECT_EQ(editor_.Fields().Title, u"カメラ(横)"_s);
  EXPECT_EQ(editor_.RowCount(), 7);

  editor_.SelectRow(3);  // the last preset: nothing follows
  editor_.DeleteSelected();
  EXPECT_EQ(editor_.Fields().Title, "");
  EXPECT_FALSE(editor_.DeleteEnabled());
  editor_.DeleteSelected();  // a blank row deletes nothing
  EXPECT_EQ(editor_.EditTrimModes().Count(), 4);
}

TEST_F(OptionsEditorTest, DeletingTheOnlyPresetLeavesABlankFirstRow) {
  editor_.Show(WithUserPresets(1), app_);
  editor_.DeleteSelected();
  EXPECT_EQ(editor_.EditTrimModes().Count(), 2);
  EXPECT_EQ(editor_.SelectedRow(), 1);
  EXPECT_FALSE(editor_.DeleteEnabled());
}

TEST_F(OptionsEditorTest, InitialiseResetsTheWorkingCopyOnly) {
  modes_ = WithUserPresets(8);
  editor_.Show(modes_, app_);
  editor_.SelectRow(8);
  editor_.Initialise();
  EXPECT_EQ(editor_.EditTrimModes(), TTrimModeList());
  EXPECT_EQ(editor_.RowCount(), 10);
  EXPECT_FALSE(editor_.DeleteEnabled());
  EXPECT_EQ(modes_, WithUserPresets(8));

  editor_.Commit(modes_, app_);
  EXPECT_EQ(modes_, TTrimModeList());
}

TEST_F(OptionsEditorTest, CommitCopiesTheListAndTheGeneralTabOnly) {
  app_.ShowExplanation_AdjustRect = false;
  app_.gSaveFolderName = "/photos/";
  editor_.Show(modes_, app_);
  editor_.General = {true, true, true, true, true, true, true, "/elsewhere/"};
  editor_.SelectRow(1);
  editor_.DeleteSelected();
  editor_.Commit(modes_, app_);
  EXPECT_EQ(modes_.Count(), 5);
  EXPECT_EQ(app_, (TAppSettings{true, true, false, true, true, true, true, "/photos/"}));
}

TEST_F(OptionsEditorTest, EveryShowingStartsFromTheCommittedList) {
  editor_.Show(modes_, app_);
  editor_.Initialise();
  editor_.SelectRow(1);
  editor_.DeleteSelected();
  editor_.Show(modes_, app_);  // the previous showing was cancelled
  EXPECT_EQ(editor_.EditTrimModes(), TTrimModeList());

  // A row chosen in a longer list is brought back inside the grid.
  editor_.Show(WithUserPresets(9), app_);
  editor_.SelectRow(9);
  editor_.Show(modes_, app_);
  EXPECT_EQ(editor_.SelectedRow(), 6);
}

TEST(OptionsEditorCells, ShowNumbersAndFlagWords) {
  const TTrimModePreset preset{"t", "e", 1524, -3, false, true};
  const QString expected[] = {"t", "e", "1524", "-3", u"しない"_s, u"固定"_s};
  for (int column = 0; column < TOptionsEditor::kColumnCount; ++column) {
    EXPECT_EQ(TOptionsEditor::CellText(preset, column), expected[column]);
  }
  EXPECT_EQ(TOptionsEditor::CellText({"", "", 0, 0, true, false}, 4), u"する"_s);
  EXPECT_EQ(TOptionsEditor::CellText({"", "", 0, 0, true, false}, 5), u"可変"_s);
  EXPECT_EQ(TOptionsEditor::HeaderText(2), u"横サイズ "_s);
  EXPECT_EQ(TOptionsEditor::HeaderText(4), u" 拡張"_s);
}

}  // namespace
}  // namespace tarvo
