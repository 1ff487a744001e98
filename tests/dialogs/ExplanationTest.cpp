// The explanation dialog's texts, and the answer and show flag it hands back to the window.
#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "Explanation.h"

namespace tarvo {
namespace {

// Runs `act` on the dialog once it is shown modally; fails the test if it never shows.
void WhenShown(TFm_Explanation& dialog, std::function<void(TFm_Explanation&)> act,
               bool* shown = nullptr) {
  QTimer::singleShot(0, &dialog, [&dialog, act, shown] {
    if (shown != nullptr) {
      *shown = QApplication::activeModalWidget() == &dialog;
    }
    act(dialog);
  });
}

void Click(TFm_Explanation& dialog, const char* name) {
  dialog.findChild<QPushButton*>(QString::fromLatin1(name))->click();
}

TEST(Explanation, ShowsItsTextsExactly) {
  TFm_Explanation dialog;
  bool show = true;
  QString title;
  QString memo;
  bool shown = false;
  WhenShown(
      dialog,
      [&](TFm_Explanation& d) {
        title = d.findChild<QLabel*>(QStringLiteral("Lbl_Title"))->text();
        memo = d.findChild<QPlainTextEdit*>(QStringLiteral("Memo"))->toPlainText();
        Click(d, "btn_Yes");
      },
      &shown);
  EXPECT_TRUE(dialog.ShowExplanation(show));
  EXPECT_TRUE(shown);
  EXPECT_TRUE(show);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("説明"));
  EXPECT_EQ(title, QStringLiteral("「選択範囲の調整」を選択しました"));
  EXPECT_EQ(memo, QStringLiteral(" JPEGファイルは「表示される画像の縦横サイズ」と\n"
                                 "「記録される画像の縦横サイズ」が異なります。\n"
                                 " この機能は二つの画像サイズが一致するよう、選択\n"
                                 "範囲を調整します。\n"
                                 "\n"
                                 " また、記録されているのに表示されていない\n"
                                 "(意図しない)画像情報をなくす効果もあります。\n"
                                 "\n"
                                 " 現在の選択範囲を調整しますので、選択範囲を\n"
                                 "再度変更すると調整は無効になります。\n"
                                 "再度「選択範囲の調整」を選択してください。\n"
                                 "(オプションで自動化が可能です)"));
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Lbl_confirm"))->text(),
            QStringLiteral("この機能を利用しますか？"));
  EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("btn_Yes"))->text(),
            QStringLiteral("はい"));
  EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("btn_No"))->text(),
            QStringLiteral("いいえ"));
  EXPECT_EQ(dialog.findChild<QCheckBox*>(QStringLiteral("CheckBox"))->text(),
            QStringLiteral("次回からこの機能に関する説明を表示しない。"));
  // Showing it again gives the same twelve lines, not twenty-four.
  WhenShown(dialog, [&](TFm_Explanation& d) {
    memo = d.findChild<QPlainTextEdit*>(QStringLiteral("Memo"))->toPlainText();
    Click(d, "btn_No");
  });
  EXPECT_FALSE(dialog.ShowExplanation(show));
  EXPECT_EQ(memo.count(QLatin1Char('\n')), 11);
}

TEST(Explanation, FlagOffAnswersYesWithoutShowing) {
  TFm_Explanation dialog;
  bool show = false;
  EXPECT_TRUE(dialog.ShowExplanation(show));
  EXPECT_FALSE(show);
  EXPECT_FALSE(dialog.isVisible());
}

TEST(Explanation, TickedBoxTurnsTheFlagOffEvenOnNo) {
  TFm_Explanation dialog;
  bool show = true;
  WhenShown(dialog, [](TFm_Explanation& d) {
    d.findChild<QCheckBox*>(QStringLiteral("CheckBox"))->setChecked(true);
    Click(d, "btn_No");
  });
  EXPECT_FALSE(dialog.ShowExplanation(show));
  EXPECT_FALSE(show);
  EXPECT_TRUE(dialog.ShowExplanation(show));
}

TEST(Explanation, TheBoxStartsUncheckedAtEachShowing) {
  TFm_Explanation dialog;
  bool show = true;
  bool checked = true;
  dialog.findChild<QCheckBox*>(QStringLiteral("CheckBox"))->setChecked(true);
  WhenShown(dialog, [&](TFm_Explanation& d) {
    checked = d.findChild<QCheckBox*>(QStringLiteral("CheckBox"))->isChecked();
    Click(d, "btn_Yes");
  });
  EXPECT_TRUE(dialog.ShowExplanation(show));
  EXPECT_FALSE(checked);
  EXPECT_TRUE(show);
}

TEST(Explanation, CloseBoxKeepsTheLastAnswer) {
  TFm_Explanation dialog;
  bool show = true;
  const auto closeBox = [](TFm_Explanation& d) { d.close(); };
  WhenShown(dialog, closeBox);
  EXPECT_FALSE(dialog.ShowExplanation(show)) << "never answered";
  WhenShown(dialog, [](TFm_Explanation& d) { Click(d, "btn_Yes"); });
  EXPECT_TRUE(dialog.ShowExplanation(show));
  WhenShown(dialog, closeBox);
  EXPECT_TRUE(dialog.ShowExplanation(show));
  WhenShown(dialog, [](TFm_Explanation& d) { Click(d, "btn_No"); });
  EXPECT_FALSE(dialog.ShowExplanation(show));
  WhenShown(dialog, closeBox);
  EXPECT_FALSE(dialog.ShowExplanation(show));
  EXPECT_TRUE(show);
}

TEST(Explanation, TheNoteNeverKeepsTheFocus) {
  TFm_Explanation dialog;
  bool show = true;
  bool yesFocused = false;
  WhenShown(dialog, [&](TFm_Explanation& d) {
    auto* memo = d.findChild<QPlainTextEdit*>(QStringLiteral("Memo"));
    d.findChild<QPushButton*>(QStringLiteral("btn_No"))->setFocus();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(memo->viewport(), &press);
    // focusWidget() rather than hasFocus(): an offscreen window need not be the active one.
    yesFocused = d.focusWidget() == d.findChild<QPushButton*>(QStringLiteral("btn_Yes"));
    Click(d, "btn_No");
  });
  dialog.ShowExplanation(show);
  EXPECT_TRUE(yesFocused);
}

}  // namespace
}  // namespace tarvo
