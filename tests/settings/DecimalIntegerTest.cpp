#include "DecimalInteger.h"

#include <gtest/gtest.h>

#include <QString>

namespace tarvo {
namespace {

TEST(DecimalInteger, AcceptsExactlyTheSigned32BitRange) {
  int32_t value = 0;
  EXPECT_EQ(ParseDecimalInt32(u"2147483647", value), TDecimalParse::Ok);
  EXPECT_EQ(value, 2147483647);
  EXPECT_EQ(ParseDecimalInt32(u"-2147483648", value), TDecimalParse::Ok);
  EXPECT_EQ(value, INT32_MIN);
  EXPECT_EQ(ParseDecimalInt32(u"+0007", value), TDecimalParse::Ok);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(ParseDecimalInt32(u"2147483648", value), TDecimalParse::OutOfRange);
  EXPECT_EQ(ParseDecimalInt32(u"-2147483649", value), TDecimalParse::OutOfRange);
  EXPECT_EQ(ParseDecimalInt32(u"123456789012345678901234567890", value), TDecimalParse::OutOfRange);
  EXPECT_EQ(value, 7);
}

TEST(DecimalInteger, RefusesAnythingButSignAndAsciiDigits) {
  int32_t value = 0;
  for (const char16_t* text : {u"", u"-", u"+", u" 1", u"1 ", u"0x10", u"1e3", u"１２", u"--1"}) {
    EXPECT_EQ(ParseDecimalInt32(text, value), TDecimalParse::NotANumber)
        << QString::fromUtf16(text).toStdString();
  }
}

}  // namespace
}  // namespace tarvo
