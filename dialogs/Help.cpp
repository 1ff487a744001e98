#include "Help.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace tarvo {

namespace {

constexpr int kClientWidth = 388;
constexpr int kClientHeight = 134;
constexpr int kIconSize = 32;

}  // namespace

TFm_Help::TFm_Help(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      Image(new QLabel),
      Lbl_01(new QLabel(QStringLiteral("JPEGファイル切り出しプログラム  - tarvo -"))),
      Lbl_02(new QLabel(QStringLiteral("Version 1.08"))),
      lbl_03(new QLabel(QStringLiteral("Copyright (C) 2026 Quillmoor"))),
      btn_close(new QPushButton(QStringLiteral("閉じる"))) {
  setObjectName(QStringLiteral("TFm_Help"));
  setWindowTitle(QStringLiteral(" tarvoについて..."));
  setModal(true);
  Image->setObjectName(QStringLiteral("Image"));
  Lbl_01->setObjectName(QStringLiteral("Lbl_01"));
  Lbl_02->setObjectName(QStringLiteral("Lbl_02"));
  lbl_03->setObjectName(QStringLiteral("lbl_03"));
  btn_close->setObjectName(QStringLiteral("btn_close"));

  Image->setFixedSize(kIconSize, kIconSize);
  Image->setPixmap(QApplication::windowIcon().pixmap(kIconSize, kIconSize));
  // The labels keep their texts whole: two spaces and a leading one are part of them.
  Lbl_01->setTextFormat(Qt::PlainText);
  Lbl_02->setTextFormat(Qt::PlainText);
  lbl_03->setTextFormat(Qt::PlainText);
  btn_close->setDefault(true);
  connect(btn_close, &QPushButton::clicked, this, &TFm_Help::btn_closeClick);

  // Icon at the top left; the version under the right end of the title; the notice below.
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(16, 14, 16, 12);
  layout->setHorizontalSpacing(16);
  layout->addWidget(Image, 0, 0, 3, 1, Qt::AlignTop | Qt::AlignLeft);
  layout->addWidget(Lbl_01, 0, 1);
  layout->addWidget(Lbl_02, 1, 1, Qt::AlignRight);
  layout->addWidget(lbl_03, 2, 1);
  layout->addWidget(btn_close, 3, 0, 1, 2, Qt::AlignHCenter);
  layout->setColumnStretch(1, 1);

  setFixedSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QApplication::primaryScreen()) {
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TFm_Help::btn_closeClick() { accept(); }

}  // namespace tarvo
