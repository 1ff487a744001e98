#include "DecimalInteger.h"

#include <algorithm>
#include <limits>

namespace tarvo {

TDecimalParse ParseDecimalInt32(QStringView text, int32_t& value) {
  const bool negative = !text.empty() && text.front() == u'-';
  const QStringView digits =
      !text.empty() && (negative || text.front() == u'+') ? text.mid(1) : text;
  // ASCII digits only: QString's own conversion also takes spaces and other scripts' digits.
  const bool decimal = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
    return c >= u'0' && c <= u'9';
  });
  if (!decimal) return TDecimalParse::NotANumber;
  // One more than INT32_MAX is still in range when negative.
  const int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + (negative ? 1 : 0);
  int64_t magnitude = 0;
  for (const QChar digit : digits) {
    magnitude = magnitude * 10 + (digit.unicode() - u'0');
    if (magnitude > limit) return TDecimalParse::OutOfRange;
  }
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return TDecimalParse::Ok;
}

}  // namespace tarvo
