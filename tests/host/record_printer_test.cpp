// How smartdriver-host shows the driver's records: every field by name, amounts exactly, texts in UTF-8
// on one line, dates as calendar dates.
#include "tools/host/record_printer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "smartdriver/cp1251.h"

namespace sd::host {
namespace {

using namespace sd::literals;

TEST(FormatDouble, ReadsBackAsTheSameDouble) {
  for (double v : {0.0, 142.5, 0.1, 89.99, 1.005, 25.5, -47.5, 1e300, 5e-324, 1.0 / 3.0, 46374.59210141912}) {
    const std::string s = FormatDouble(v);
    EXPECT_EQ(std::strtod(s.c_str(), nullptr), v) << s;
  }
  EXPECT_EQ(FormatDouble(142.5), "142.5");
  EXPECT_EQ(FormatDouble(1000), "1000");
  EXPECT_EQ(FormatDouble(89.99), "89.99");
}

TEST(FormatDate, CountsDaysFromTheEndOf1899) {
  EXPECT_EQ(FormatDate(0), "1899-12-30 00:00:00");
  EXPECT_EQ(FormatDate(1), "1899-12-31 00:00:00");
  EXPECT_EQ(FormatDate(25569.5), "1970-01-01 12:00:00");
  EXPECT_EQ(FormatDate(46374.75), "2026-12-18 18:00:00");
  EXPECT_EQ(FormatDate(46374.999999999), "2026-12-19 00:00:00") << "a second rounded up carries the day";
  EXPECT_EQ(FormatDate(-1.25), "1899-12-28 18:00:00");
  EXPECT_EQ(FormatDate(std::nan("")), "?");
  EXPECT_EQ(FormatDate(1e300), "?");
}

TEST(DisplayText, ConvertsToUtf8AndKeepsOneLine) {
  EXPECT_EQ(DisplayText("Иванов"_w), "Иванов");
  EXPECT_EQ(DisplayText(std::string_view("a\r\nb\0c", 6)), "a\\x0D\\x0Ab\\x00c");
  EXPECT_EQ(DisplayText("C:\\ZEMO"), "C:\\\\ZEMO");
}

TEST(PrintRecords, NameEveryFieldThatTheDriverWrites) {
  DiscountResult d;
  std::memset(&d, 0, sizeof d);
  d.Flag = 255;
  d.TypeOper = 'M';
  d.NumberCard.assign("0012345678");
  d.SummaSk = 89.99;
  d.Summa = 99.99;
  d.Price = 99.99;
  d.CosteSk = 89.99;
  d.Skidka = 10;
  std::ostringstream out;
  PrintDiscountResult(d, out);
  EXPECT_EQ(out.str(),
            "DiscountResult.Flag = 255\n"
            "DiscountResult.TypeOper = M\n"
            "DiscountResult.Byte3 = 0\n"
            "DiscountResult.Byte4 = 0\n"
            "DiscountResult.NumberCard = 0012345678\n"
            "DiscountResult.SummaSk = 89.99\n"
            "DiscountResult.Summa = 99.99\n"
            "DiscountResult.Price = 99.99\n"
            "DiscountResult.CosteSk = 89.99\n"
            "DiscountResult.Skidka = 10\n");

  CardInfo c;
  std::memset(&c, 0, sizeof c);
  c.CardHead.assign("0012");
  c.CardTail.assign("345678");
  c.Value16[7] = 0xAB;
  c.ValidUntil = 25569.5;
  c.Amount56 = 1000;
  out.str("");
  PrintCardInfo(c, out);
  EXPECT_EQ(out.str(),
            "CardInfo.Flag = 0\n"
            "CardInfo.CardHead = 0012\n"
            "CardInfo.CardTail = 345678\n"
            "CardInfo.Value16 = 00 00 00 00 00 00 00 AB\n"
            "CardInfo.ValidUntil = 25569.5 (1970-01-01 12:00:00)\n"
            "CardInfo.Amount32 = 0\n"
            "CardInfo.Amount40 = 0\n"
            "CardInfo.Amount48 = 0\n"
            "CardInfo.Amount56 = 1000\n");
}

TEST(PrintRecords, ALengthByteBeyondTheCapacityIsShownNotFollowed) {
  CashlessResult r;
  std::memset(&r, 0, sizeof r);
  std::memset(r.NumberCard.chars, '7', sizeof r.NumberCard.chars);
  r.NumberCard.length = 200;  // would reach into the bytes after the text
  std::ostringstream out;
  PrintCashlessResult(r, out);
  EXPECT_NE(out.str().find("CashlessResult.NumberCard = 77777777777777777777 (length byte 200 exceeds 20)\n"),
            std::string::npos)
      << out.str();
}

}  // namespace
}  // namespace sd::host
