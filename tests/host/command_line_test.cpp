// Reading smartdriver-host's command words: every entry command with its values, the refusals with the
// argument they name, and the splitting of run-file lines with quoted texts.
#include "tools/host/command_line.h"

#include <gtest/gtest.h>

#include <clocale>

#include "smartdriver/cp1251.h"

namespace sd::host {
namespace {

using namespace sd::literals;
using Words = std::vector<std::string>;

TEST(ParseCommand, ReadsEachEntryCommandWithItsValues) {
  Command c = ParseCommand({"discount", "-", "255", "0.0625", "99.99", "Иванов"});
  EXPECT_EQ(c.verb, Verb::Discount);
  EXPECT_EQ(c.type_oper, '-');
  EXPECT_EQ(c.koshel, 255);
  EXPECT_EQ(c.kolvo, 0.0625);
  EXPECT_EQ(c.summa, 99.99);
  EXPECT_EQ(c.text1, "");
  EXPECT_EQ(c.text2, "Иванов"_w) << "the card text goes to the driver in Windows-1251";

  c = ParseCommand({"forward-discount", "+", "0", "1e3", "-5", "один", "два"});
  EXPECT_EQ(c.verb, Verb::ForwardDiscount);
  EXPECT_EQ(c.type_oper, '+');
  EXPECT_EQ(c.kolvo, 1000.0);
  EXPECT_EQ(c.summa, -5.0);
  EXPECT_EQ(c.text1, "один"_w);
  EXPECT_EQ(c.text2, "два"_w);

  c = ParseCommand({"cashless-return", "0012345678", "3", "1", "50"});
  EXPECT_EQ(c.verb, Verb::CashlessReturn);
  EXPECT_EQ(c.card, "0012345678");
  EXPECT_EQ(c.koshel, 3);

  // The card text of a return is the driver's to judge; the host passes it as typed.
  EXPECT_EQ(ParseCommand({"cashless-return", "12AB", "3", "1", "50"}).card, "12AB");
  EXPECT_EQ(ParseCommand({"cashless-sale", "1", "0", "0"}).verb, Verb::CashlessSale);
  EXPECT_EQ(ParseCommand({"card-info", "7"}).koshel, 7);
  EXPECT_EQ(ParseCommand({"blank-card"}).verb, Verb::BlankCard);
  EXPECT_EQ(ParseCommand({"version"}).verb, Verb::Version);
}

TEST(ParseCommand, RefusesMistakesNamingTheArgument) {
  struct Case {
    Words words;
    const char* message;
  };
  const Case cases[] = {
      {{}, "missing command"},
      {{"Discount", "M", "1", "1", "1"}, "unknown command 'Discount'"},
      {{"discount", "X", "1", "1", "1"}, "bad OP 'X'"},
      {{"discount", "", "1", "1", "1"}, "bad OP ''"},
      {{"discount", "M+", "1", "1", "1"}, "bad OP 'M+'"},
      {{"discount", "M", "1", "1"}, "missing arguments: usage: discount OP WALLET QTY SUM [CARDTEXT]"},
      {{"forward-discount", "M", "1", "1", "1", "a", "b", "c"}, "too many arguments"},
      {{"card-info"}, "missing arguments"},
      {{"card-info", "1", "2"}, "too many arguments"},
      {{"card-info", "256"}, "bad WALLET '256'"},
      {{"card-info", "1.0"}, "bad WALLET '1.0'"},
      {{"card-info", "+1"}, "bad WALLET '+1'"},
      {{"card-info", " 1"}, "bad WALLET ' 1'"},
      {{"card-info", "99999999999999999999"}, "bad WALLET"},
      {{"cashless-sale", "1", "", "1"}, "bad QTY ''"},
      {{"cashless-sale", "1", "2,5", "1"}, "bad QTY '2,5'"},
      {{"cashless-sale", "1", "0x10", "1"}, "bad QTY '0x10'"},
      {{"cashless-sale", "1", "inf", "1"}, "bad QTY 'inf'"},
      {{"cashless-sale", "1", "1", "-nan"}, "bad SUM '-nan'"},
      {{"cashless-sale", "1", "1", "1e400"}, "bad SUM '1e400'"},
      {{"cashless-sale", "1", "1", "1 "}, "bad SUM '1 '"},
      {{"cashless-return", "1", "1", "1"}, "missing arguments"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& w : c.words) shown += "[" + w + "]";
    try {
      ParseCommand(c.words);
      ADD_FAILURE() << shown << " was accepted";
    } catch (const UsageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << shown << ": " << e.what();
    }
  }
}

TEST(ParseAmount, UsesThePointWhateverTheLocaleSays) {
  // A locale with a decimal comma, where the machine has one; the reading must not change with it.
  const bool comma_locale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                            std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr;
  EXPECT_EQ(ParseAmount("QTY", "1.5"), 1.5);
  EXPECT_THROW(ParseAmount("QTY", "1,5"), UsageError);
  std::setlocale(LC_NUMERIC, "C");
  if (!comma_locale) GTEST_LOG_(INFO) << "no comma locale installed; checked in the C locale only";
}

TEST(SplitWords, SeparatesOnBlanksAndKeepsQuotedTextsWhole) {
  EXPECT_EQ(SplitWords("  discount\tM 1  2 100  "), (Words{"discount", "M", "1", "2", "100"}));
  EXPECT_EQ(SplitWords("discount M 1 2 100 \"Иванов И.\""), (Words{"discount", "M", "1", "2", "100", "Иванов И."}));
  EXPECT_EQ(SplitWords("a \"\" b"), (Words{"a", "", "b"}));
  EXPECT_EQ(SplitWords("a \"say \"\"hi\"\"\""), (Words{"a", "say \"hi\""}));
  EXPECT_EQ(SplitWords("a\r"), (Words{"a"}));
  EXPECT_EQ(SplitWords(""), Words{});
  EXPECT_THROW(SplitWords("a \"open"), UsageError);
  EXPECT_THROW(SplitWords("a \"x\"y"), UsageError);
}

}  // namespace
}  // namespace sd::host
