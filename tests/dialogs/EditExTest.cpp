#include "EditEx.h"

#include <gtest/gtest.h>

#include <QTest>

namespace tarvo {
namespace {

TEST(EditEx, TypingKeepsDigitsOnly) {
  TEditEx edit;
  QTest::keyClicks(&edit, "12a3");
  EXPECT_EQ(edit.text(), "123");
  QTest::keyClicks(&edit, "-+ .,");
  EXPECT_EQ(edit.text(), "123");
}

TEST(EditEx, EditingKeysStillWork) {
  TEditEx edit;
  QTest::keyClicks(&edit, "456");
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.text(), "45");
  QTest::keyClick(&edit, Qt::Key_Home);
  QTest::keyClick(&edit, Qt::Key_Delete);
  EXPECT_EQ(edit.text(), "5");
}

TEST(EditEx, TextStandsAtTheRightEdge) {
  TEditEx edit;
  EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
}

TEST(EditEx, InputMethodCommitKeepsDigitsOnly) {
  TEditEx edit;
  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("1２x3"));
  QApplication::sendEvent(&edit, &commit);
  EXPECT_EQ(edit.text(), "13");
}

}  // namespace
}  // namespace tarvo
