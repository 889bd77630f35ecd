// Whole numbers and captions read by the host runtime's rules.
#include "settings/ansi_text.h"

#include <gtest/gtest.h>

#include "smartdriver/cp1251.h"

namespace sd::settings {
namespace {

using namespace sd::literals;

TEST(TryStrToInt, ReadsWhatTheRuntimeReads) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"6010", 6010},          {"-1", -1},
      {"+7", 7},               {"  42", 42},
      {"007", 7},              {"$1A", 26},
      {"0x1A", 26},            {"0X1a", 26},
      {"x1A", 26},             {"-$10", -16},
      {"$FFFFFFFF", -1},       {"$80000000", INT32_MIN},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt}, {"-2147483649", std::nullopt},
      {"$100000000", std::nullopt}, {"99999999999999999999", std::nullopt},
      {"", std::nullopt},      {"   ", std::nullopt},
      {"-", std::nullopt},     {"$", std::nullopt},
      {"0x", std::nullopt},    {"abc", std::nullopt},
      {"12 ", std::nullopt},   {"1.5", std::nullopt},
      {"6010x", std::nullopt}, {"$1G", std::nullopt},
      {"--1", std::nullopt},   {"\t5", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(TryStrToInt(c.text), c.value) << '"' << c.text << '"';
  EXPECT_EQ(StrToIntDef("abc", 99), 99);
  EXPECT_EQ(IntToStr(INT32_MIN), "-2147483648");
}

TEST(SameCaption, IgnoresMarkersAndLetterCaseOfBothAlphabets) {
  EXPECT_TRUE(SameCaption("&Настройка"_w, "НАСТРОЙКА"_w));
  EXPECT_TRUE(SameCaption("на&стройка"_w, "&Настройка"_w));
  EXPECT_TRUE(SameCaption("ЁЖ Єї Ў"_w, "ёж єЇ ў"_w));
  EXPECT_TRUE(SameCaption("Save && &Exit", "save && exit"));
  EXPECT_TRUE(SameCaption("a & b", "A  B"));
  EXPECT_FALSE(SameCaption("Save && Exit", "Save Exit"));
  EXPECT_FALSE(SameCaption("&Настройка"_w, "Настройки"_w));
  EXPECT_FALSE(SameCaption("-", ""));
}

}  // namespace
}  // namespace sd::settings
