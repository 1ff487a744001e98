#include "EditEx.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace tarvo {

TEditEx::TEditEx(QWidget* parent) : QLineEdit(parent) { setAlignment(Qt::AlignRight); }

bool TEditEx::IsNumericKey(QChar key) {
  const char16_t code = key.unicode();
  return (code >= u'0' && code <= u'9') || code < 0x20;
}

void TEditEx::keyPressEvent(QKeyEvent* event) {
  // Keys without text (arrows, Home, Delete) are editing, not typing.
  const QString text = event->text();
  for (const QChar key : text) {
    if (!IsNumericKey(key)) {
      event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

void TEditEx::inputMethodEvent(QInputMethodEvent* event) {
  // An input method commits whole strings (full-width digits, kana) without key presses;
  // they count as typing, so only the ASCII digits of the commit reach the field.
  QString digits;
  for (const QChar key : event->commitString()) {
    if (key.unicode() >= u'0' && key.unicode() <= u'9') digits += key;
  }
  if (digits == event->commitString()) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  QInputMethodEvent filtered(event->preeditString(), event->attributes());
  filtered.setCommitString(digits, event->replacementStart(), event->replacementLength());
  QLineEdit::inputMethodEvent(&filtered);
}

}  // namespace tarvo
