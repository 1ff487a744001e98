// The About dialog's texts and icon.
#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "Explanation.h"
#include "Help.h"

namespace tarvo {
namespace {

QString LabelText(const TFm_Help& dialog, const char* name) {
  return dialog.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

TEST(Help, ShowsItsTextsExactly) {
  TFm_Help dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral(" tarvoについて..."));
  EXPECT_EQ(LabelText(dialog, "Lbl_01"),
            QStringLiteral("JPEGファイル切り出しプログラム  - tarvo -"));
  EXPECT_EQ(LabelText(dialog, "Lbl_02"), QStringLiteral("Version 1.08"));
  EXPECT_EQ(LabelText(dialog, "lbl_03"), QStringLiteral("Copyright (C) 2026 Quillmoor"));
  EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("btn_close"))->text(),
            QStringLiteral("閉じる"));
  EXPECT_EQ(dialog.size(), QSize(388, 134));
}

TEST(Help, AboutAndExplanationOfferOnlyACloseBox) {
  TFm_Help help;
  TFm_Explanation explanation;
  for (const QWidget* dialog :
       {static_cast<QWidget*>(&help), static_cast<QWidget*>(&explanation)}) {
    const Qt::WindowFlags flags = dialog->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint)) << dialog->objectName().toStdString();
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint))
        << dialog->objectName().toStdString();
  }
}

TEST(Help, ShowsTheProgramIcon) {
  QPixmap red(64, 64);
  red.fill(Qt::red);
  const QIcon before = QApplication::windowIcon();
  QApplication::setWindowIcon(QIcon(red));
  TFm_Help dialog;
  QApplication::setWindowIcon(before);
  const QPixmap icon = dialog.findChild<QLabel*>(QStringLiteral("Image"))->pixmap();
  ASSERT_EQ(icon.size(), QSize(32, 32));
  EXPECT_EQ(icon.toImage().pixel(16, 16), QColor(Qt::red).rgb());
}

TEST(Help, CloseButtonEndsTheModalShowing) {
  TFm_Help dialog;
  bool shown = false;
  QTimer::singleShot(0, &dialog, [&] {
    shown = QApplication::activeModalWidget() == &dialog;
    dialog.findChild<QPushButton*>(QStringLiteral("btn_close"))->click();
  });
  dialog.exec();
  EXPECT_TRUE(shown);
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace tarvo
