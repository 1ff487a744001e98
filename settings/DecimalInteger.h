// Reading a signed 32-bit decimal integer from text typed or stored by a user.
#pragma once

#include <QStringView>
#include <cstdint>

namespace tarvo {

enum class TDecimalParse {
  Ok,
  NotANumber,  // anything but an optional sign followed by the digits 0-9
  OutOfRange,  // a decimal number that does not fit 32 bits
};

TDecimalParse ParseDecimalInt32(QStringView text, int32_t& value);

}  // namespace tarvo
