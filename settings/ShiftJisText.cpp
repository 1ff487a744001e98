#include "ShiftJisText.h"

namespace tarvo {
namespace {

bool IsSingleByteInShiftJis(char16_t code) {
  // JIS X 0201: ASCII and the half-width katakana block U+FF61-U+FF9F.
  return code < 0x80 || (code >= 0xFF61 && code <= 0xFF9F);
}

// UTF-16 units of the character starting at index.
qsizetype CharacterUnits(QStringView text, qsizetype index) {
  const bool pair =
      text[index].isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate();
  return pair ? 2 : 1;
}

}  // namespace

int ShiftJisByteLength(QStringView text) {
  int bytes = 0;
  for (qsizetype i = 0; i < text.size(); i += CharacterUnits(text, i)) {
    bytes += IsSingleByteInShiftJis(text[i].unicode()) ? 1 : 2;
  }
  return bytes;
}

QString CutToShiftJisBytes(const QString& text, int maxBytes) {
  int bytes = 0;
  qsizetype i = 0;
  while (i < text.size()) {
    const int width = IsSingleByteInShiftJis(text[i].unicode()) ? 1 : 2;
    if (bytes + width > maxBytes) break;
    bytes += width;
    i += CharacterUnits(text, i);
  }
  return text.left(i);
}

}  // namespace tarvo
