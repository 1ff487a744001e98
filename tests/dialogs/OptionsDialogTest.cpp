#include "Options.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

namespace tarvo {

using namespace Qt::StringLiterals;

namespace {

struct PromptLog {
  QStringList messages;
  QStringList errors;
  QStringList questions;
  bool answer = true;
};

class ScriptedPrompts final : public TOptionsPrompts {
 public:
  explicit ScriptedPrompts(PromptLog& log) : log_(log) {}
  void Message(QWidget*, const QString& text) override { log_.messages << text; }
  void Error(QWidget*, const QString& text) override { log_.errors << text; }
  bool Confirm(QWidget*, const QString& text) override {
    log_.questions << text;
    return log_.answer;
  }

 private:
  PromptLog& log_;
};

class OptionsDialogTest : public testing::Test {
 protected:
  OptionsDialogTest()
      : dialog_(modes_, app_, nullptr, std::make_unique<ScriptedPrompts>(prompts_)) {}

  template <typename T>
  T* Find(const QString& name) {
    T* widget = dialog_.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }

  void Click(const QString& button) {
    QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton);
  }

  // Runs the modal dialog; user acts while it is shown and must end with OK or Cancel.
  bool Execute(const std::function<void()>& user) {
    QTimer::singleShot(0, &dialog_, user);
    return dialog_.Execute();
  }

  void SelectGridRow(int row) { Find<QTableWidget>("Grid")->setCurrentCell(row - 1, 0); }

  void TypeInto(const QString& field, const QString& text) {
    auto* edit = Find<QLineEdit>(field);
    edit->clear();
    QTest::keyClicks(edit, text);
  }

  TTrimModeList modes_;
  TAppSettings app_;
  PromptLog prompts_;
  TFm_Options dialog_;
};

TEST_F(OptionsDialogTest, FirstShowingPresentsThePresetGrid) {
  EXPECT_TRUE(Execute([&] {
    EXPECT_EQ(dialog_.windowTitle(), u"オプションの設定"_s);
    auto* tabs = dialog_.findChild<QTabWidget*>();
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), u"切り取りモード"_s);
    EXPECT_EQ(Find<QPushButton>("Btn_Cancel")->text(), u"ｷｬﾝｾﾙ"_s);

    auto* grid = Find<QTableWidget>("Grid");
    EXPECT_EQ(grid->columnCount(), 6);
    EXPECT_EQ(grid->horizontalHeaderItem(3)->text(), u"縦サイズ "_s);
    EXPECT_EQ(grid->rowCount(), 6);  // header row excluded
    EXPECT_EQ(grid->item(0, 0)->text(), u"\uFF2C版(横)"_s);
    EXPECT_EQ(grid->item(3, 0)->text(), u"カメラ(縦)"_s);
    EXPECT_EQ(grid->item(0, 2)->text(), "1524");
    EXPECT_TRUE(grid->item(0, 2)->textAlignment() & Qt::AlignRight);
    EXPECT_EQ(grid->item(0, 4)->text(), u"する"_s);
    EXPECT_EQ(grid->item(0, 5)->text(), u"固定"_s);
    EXPECT_EQ(grid->item(4, 0)->text(), "");
    EXPECT_EQ(Find<QLineEdit>("Txt_AspectRatio_X")->text(), "1524");
    EXPECT_TRUE(Find<QPushButton>("Btn_Delete")->isEnabled());
    // Column 1 takes the width the others leave.
    int total = 0;
    for (int column = 0; column < 6; ++column) total += grid->columnWidth(column);
    EXPECT_LE(total, grid->viewport()->width());
    EXPECT_GT(grid->columnWidth(1), 0);
    Click("Btn_OK");
  }));
  EXPECT_EQ(modes_, TTrimModeList());
}

TEST_F(OptionsDialogTest, PresetAddedAndGeneralSettingsCommittedByOk) {
  EXPECT_TRUE(Execute([&] {
    SelectGridRow(6);
    EXPECT_FALSE(Find<QPushButton>("Btn_Delete")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>("Chk_FixAspectRatio")->isChecked());
    TypeInto("Txt_Title", "A4");
    TypeInto("Txt_Explanation", "297 x 210");
    TypeInto("Txt_AspectRatio_X", "29a7");
    TypeInto("Txt_AspectRatio_Y", "210");
    Click("Btn_Update");
    auto* grid = Find<QTableWidget>("Grid");
    EXPECT_EQ(grid->item(4, 0)->text(), "A4");
    EXPECT_EQ(grid->currentRow(), 4);
    EXPECT_TRUE(Find<QPushButton>("Btn_Delete")->isEnabled());

    Find<QComboBox>("Cbo_gSaveFolder")->setCurrentIndex(1);
    Find<QCheckBox>("chk_AllowDropExif")->setChecked(true);
    Find<QCheckBox>("chk_KeepThumbnails")->setChecked(true);
    Click("Btn_OK");
  }));
  ASSERT_EQ(modes_.Count(), 7);
  EXPECT_EQ(modes_[6], (TTrimModePreset{"A4", "297 x 210", 297, 210, false, true}));
  EXPECT_TRUE(app_.gSaveFolder);
  EXPECT_TRUE(app_.gAllowDropExif);
  EXPECT_TRUE(app_.gKeepThumbnails);
  EXPECT_FALSE(app_.gKeepTimeStamp_Create);
}

TEST_F(OptionsDialogTest, CreationTimeChoiceIsShownDisabledAndKeptThroughOk) {
  app_.gKeepTimeStamp_Create = true;
  EXPECT_TRUE(Execute([&] {
    auto* box = Find<QCheckBox>("chk_KeepTimeStamp_Create");
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(box->toolTip().isEmpty());
    Click("Btn_OK");
  }));
  EXPECT_TRUE(app_.gKeepTimeStamp_Create);
}

TEST_F(OptionsDialogTest, CancelDiscardsInitialiseAndEdits) {
  EXPECT_FALSE(Execute([&] {
    prompts_.answer = false;
    Click("Btn_Init");
    SelectGridRow(1);
    Click("Btn_Delete");
    prompts_.answer = true;
    Click("Btn_Init");
    EXPECT_EQ(Find<QTableWidget>("Grid")->item(0, 0)->text(), u"\uFF2C版(横)"_s);
    Find<QCheckBox>("chk_KeepTimeStamp_Write")->setChecked(true);
    Click("Btn_Cancel");
  }));
  EXPECT_EQ(prompts_.questions.size(), 2);
  EXPECT_EQ(prompts_.questions.first(), QString::fromUtf8(kMsgResetTrimModes));
  EXPECT_EQ(modes_, TTrimModeList());
  EXPECT_EQ(app_, TAppSettings());
}

TEST_F(OptionsDialogTest, RefusedInputIsReportedAndChangesNothing) {
  EXPECT_TRUE(Execute([&] {
    SelectGridRow(2);
    TypeInto("Txt_Explanation", "");
    Click("Btn_Update");
    TypeInto("Txt_Title", "changed");
    TypeInto("Txt_Explanation", "changed");
    Find<QLineEdit>("Txt_AspectRatio_Y")->setText("12345678901");  // pasted
    Click("Btn_Update");
    Click("Btn_OK");
  }));
  EXPECT_EQ(prompts_.messages, QStringList{u"すべての項目に記入してください"_s});
  EXPECT_EQ(prompts_.errors, QStringList{u"'12345678901' は整数ではありません"_s});
  EXPECT_EQ(modes_, TTrimModeList());
}

TEST_F(OptionsDialogTest, LaterShowingsKeepTheLastTab) {
  Execute([&] {
    dialog_.findChild<QTabWidget*>()->setCurrentIndex(0);
    Click("Btn_Cancel");
  });
  Execute([&] {
    auto* tabs = dialog_.findChild<QTabWidget*>();
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), u"全般"_s);
    Click("Btn_Cancel");
  });
}

}  // namespace
}  // namespace tarvo
