#include "QtTranslation.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>

namespace tarvo {
namespace {

TEST(QtTranslation, QtsOwnButtonsSpeakJapanese) {
  ASSERT_TRUE(InstallQtTranslation(*QCoreApplication::instance()));
  const QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
  EXPECT_EQ(box.button(QDialogButtonBox::Open)->text(), QStringLiteral("開く"));
  EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

}  // namespace
}  // namespace tarvo
