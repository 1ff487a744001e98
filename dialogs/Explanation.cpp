#include "Explanation.h"

#include <algorithm>
#include <iterator>

#include <QCheckBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace tarvo {

namespace {

constexpr int kClientWidth = 420;
constexpr int kClientHeight = 293;
constexpr int kMemoWidth = 360;

// The note is laid out for a fixed-pitch Japanese font; take the closest one installed.
QFont MemoFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("Noto Sans Mono CJK JP"),
                    QStringLiteral("monospace")});
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(13);
  return font;
}

constexpr const char* kAdjustRectLines[] = {
    " JPEGファイルは「表示される画像の縦横サイズ」と",
    "「記録される画像の縦横サイズ」が異なります。",
    " この機能は二つの画像サイズが一致するよう、選択",
    "範囲を調整します。",
    "",
    " また、記録されているのに表示されていない",
    "(意図しない)画像情報をなくす効果もあります。",
    "",
    " 現在の選択範囲を調整しますので、選択範囲を",
    "再度変更すると調整は無効になります。",
    "再度「選択範囲の調整」を選択してください。",
    "(オプションで自動化が可能です)",
};

}  // namespace

TFm_Explanation::TFm_Explanation(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      Lbl_Title(new QLabel),
      Memo(new QPlainTextEdit),
      Lbl_confirm(new QLabel(QStringLiteral("この機能を利用しますか？"))),
      btn_Yes(new QPushButton(QStringLiteral("はい"))),
      btn_No(new QPushButton(QStringLiteral("いいえ"))),
      CheckBox(new QCheckBox(QStringLiteral("次回からこの機能に関する説明を表示しない。"))) {
  setObjectName(QStringLiteral("TFm_Explanation"));
  setWindowTitle(QStringLiteral("説明"));
  setModal(true);
  Lbl_Title->setObjectName(QStringLiteral("Lbl_Title"));
  Memo->setObjectName(QStringLiteral("Memo"));
  Lbl_confirm->setObjectName(QStringLiteral("Lbl_confirm"));
  btn_Yes->setObjectName(QStringLiteral("btn_Yes"));
  btn_No->setObjectName(QStringLiteral("btn_No"));
  CheckBox->setObjectName(QStringLiteral("CheckBox"));

  QFont titleFont = Lbl_Title->font();
  titleFont.setBold(true);
  Lbl_Title->setFont(titleFont);

  // A read-only note in the dialog's own colour: it never takes the focus, and a click on it
  // hands the focus to "はい".
  Memo->setReadOnly(true);
  Memo->setFocusPolicy(Qt::NoFocus);
  Memo->setFrameShape(QFrame::NoFrame);
  Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo->setFont(MemoFont());
  QPalette memoPalette = Memo->palette();
  memoPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
  Memo->setPalette(memoPalette);
  Memo->viewport()->installEventFilter(this);
  Memo->setFixedWidth(kMemoWidth);
  // All twelve lines show at once. Japanese fonts here set their lines wider apart than the
  // font the dialog was laid out for, so the dialog grows in height where they need it.
  const int lineCount = static_cast<int>(std::size(kAdjustRectLines));
  Memo->setFixedHeight(lineCount * QFontMetrics(Memo->font()).lineSpacing() +
                       2 * static_cast<int>(Memo->document()->documentMargin()) + 2);

  btn_Yes->setAutoDefault(true);
  btn_Yes->setDefault(true);
  connect(btn_Yes, &QPushButton::clicked, this, &TFm_Explanation::btn_YesClick);
  connect(btn_No, &QPushButton::clicked, this, &TFm_Explanation::btn_NoClick);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btn_Yes);
  buttons->addWidget(btn_No);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 12, 20, 10);
  layout->setSpacing(6);
  layout->addWidget(Lbl_Title);
  layout->addWidget(Memo, 1, Qt::AlignHCenter);
  layout->addWidget(Lbl_confirm);
  layout->addLayout(buttons);
  layout->addWidget(CheckBox);

  setFixedSize(kClientWidth, std::max(kClientHeight, layout->sizeHint().height()));
}

bool TFm_Explanation::ShowExplanation(bool& show) {
  if (!show) {
    return true;
  }
  CheckBox->setChecked(false);
  Lbl_Title->setText(QStringLiteral("「選択範囲の調整」を選択しました"));
  Memo->clear();
  Memo->setFixedWidth(kMemoWidth);
  for (const char* line : kAdjustRectLines) {
    Memo->appendPlainText(QString::fromUtf8(line));
  }
  Memo->moveCursor(QTextCursor::Start);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  btn_Yes->setFocus();
  exec();
  show = !CheckBox->isChecked();
  return answer_;
}

bool TFm_Explanation::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo->viewport() && event->type() == QEvent::MouseButtonPress) {
    btn_Yes->setFocus();
  }
  return QDialog::eventFilter(watched, event);
}

void TFm_Explanation::btn_YesClick() {
  answer_ = true;
  accept();
}

void TFm_Explanation::btn_NoClick() {
  answer_ = false;
  reject();
}

}  // namespace tarvo
