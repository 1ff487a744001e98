#include "Fonts.h"

namespace tarvo {
namespace {

QFont JapaneseFont(const QString& family, QFont::StyleHint hint) {
  QFont font(family);
  font.setStyleHint(hint);
  font.setPixelSize(15);
  return font;
}

}  // namespace

QFont GothicFont() {
  return JapaneseFont(QStringLiteral("Noto Sans Mono CJK JP"), QFont::Monospace);
}

QFont MinchoFont() { return JapaneseFont(QStringLiteral("Noto Serif CJK JP"), QFont::Serif); }

}  // namespace tarvo
