// RoundMoney and the number texts of the log lines.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/number_text.h"
#include "driver/round_money.h"
#include "smartdriver/errors.h"

namespace sd::driver {
namespace {

TEST(RoundMoney, HalvesGoUpEvenWhereTheDoubleFallsShort) {
  const struct {
    double in;
    double out;
  } cases[] = {
      {2.345, 2.35}, {1.005, 1.01}, {0.125, 0.13}, {2.344, 2.34}, {89.99, 89.99}, {0, 0},
      {45, 45},      {142.5, 142.5}, {1e12 + 0.005, 1e12 + 0.01}, {-2.345, -2.33},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(RoundMoney(2, c.in), c.out) << c.in;
  EXPECT_DOUBLE_EQ(RoundMoney(0, 2.5), 3);
  EXPECT_DOUBLE_EQ(RoundMoney(0, 2.4999), 2);
}

TEST(RoundMoney, ValuesBeyondTheWholeNumberRangeStayFinite) {
  EXPECT_DOUBLE_EQ(RoundMoney(2, 1e300L), 1e300);
  EXPECT_TRUE(std::isnan(RoundMoney(2, std::nanl(""))));
}

TEST(FloatText, GeneralFormatWithFifteenDigits) {
  const struct {
    double in;
    const char* out;
  } cases[] = {
      {0, "0"},
      {2, "2"},
      {150, "150"},
      {99.99, "99.99"},
      {0.1, "0.1"},
      {-0.5, "-0.5"},
      {142.5, "142.5"},
      {1.0 / 3, "0.333333333333333"},
      {123456789012345.0, "123456789012345"},
      {1234567890123456.0, "1.23456789012346E15"},
      {1e20, "1E20"},
      {0.00001, "0.00001"},
      {0.0000015, "1.5E-6"},
      {2.0 / 3 * 1000, "666.666666666667"},
      {0.1 + 0.2, "0.3"},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatText(c.in, '.'), c.out) << c.in;
  EXPECT_EQ(FloatText(99.99, ','), "99,99");
  EXPECT_EQ(FloatText(1.5e-7, ','), "1,5E-7");
}

TEST(StrToInt64, RuntimeRules) {
  EXPECT_EQ(StrToInt64("0012345678"), 12345678);
  EXPECT_EQ(StrToInt64("-42"), -42);
  EXPECT_EQ(StrToInt64("+7"), 7);
  EXPECT_EQ(StrToInt64("$FF"), 255);
  EXPECT_EQ(StrToInt64("0x1a"), 26);
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  for (const char* bad : {"", "12AB", "9223372036854775808", "1 ", "$", "0x", "--1", "$10000000000000000"}) {
    try {
      StrToInt64(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace sd::driver
