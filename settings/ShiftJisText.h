// Length limits of texts that the program keeps within 255 bytes of Shift-JIS.
#pragma once

#include <QString>

namespace tarvo {

// Preset titles and explanations have always been limited to 255 bytes in Shift-JIS; settings
// files and users' habits rely on that, so the limit stays although the text is held as UTF-16.
inline constexpr int kMaxShiftJisTextBytes = 255;

// Bytes the text would take in Shift-JIS: ASCII and half-width katakana take one byte, every
// other character two (characters Shift-JIS cannot hold are counted as two as well).
int ShiftJisByteLength(QStringView text);

// The longest prefix of text that fits maxBytes of Shift-JIS, cut between characters (a
// surrogate pair is never split).
QString CutToShiftJisBytes(const QString& text, int maxBytes = kMaxShiftJisTextBytes);

}  // namespace tarvo
