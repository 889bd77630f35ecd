// Reading the words of smartdriver-host's entry commands.
#include "tools/host/command_line.h"

#include <charconv>
#include <cmath>

#include "smartdriver/cp1251.h"

namespace sd::host {
namespace {

struct VerbSpec {
  const char* word;
  Verb verb;
  std::size_t min_args;
  std::size_t max_args;
  const char* usage;
};

constexpr VerbSpec kVerbs[] = {
    {"version", Verb::Version, 0, 0, "version"},
    {"blank-card", Verb::BlankCard, 0, 0, "blank-card"},
    {"card-info", Verb::CardInfo, 1, 1, "card-info WALLET"},
    {"discount", Verb::Discount, 4, 5, "discount OP WALLET QTY SUM [CARDTEXT]"},
    {"forward-discount", Verb::ForwardDiscount, 4, 6, "forward-discount OP WALLET QTY SUM [TEXT1 [TEXT2]]"},
    {"cashless-sale", Verb::CashlessSale, 3, 3, "cashless-sale WALLET QTY SUM"},
    {"cashless-return", Verb::CashlessReturn, 4, 4, "cashless-return CARD WALLET QTY SUM"},
};

const VerbSpec* FindVerb(std::string_view word) {
  for (const auto& known : kVerbs)
    if (word == known.word) return &known;
  return nullptr;
}

char ParseOperation(std::string_view text) {
  if (text == "-" || text == "M" || text == "+") return text[0];
  throw UsageError("bad OP '" + std::string(text) + "': one of - (sale start), M (discount request), "
                   "+ (sale cancel)");
}

}  // namespace

const char* const kEntryUsage =
    "  version                                   GetVersion\n"
    "  blank-card                                BlankCardInfo\n"
    "  card-info WALLET                          GetCardInfo (cashless server)\n"
    "  discount OP WALLET QTY SUM [CARDTEXT]     DiscountOperation (discount server); OP is\n"
    "                                            - sale start, M discount request, + sale cancel\n"
    "  forward-discount OP WALLET QTY SUM [TEXT1 [TEXT2]]\n"
    "                                            ForwardDiscountOperation (TEXT2 is the card text)\n"
    "  cashless-sale WALLET QTY SUM              CashlessSale (QTY below 0.001 reads the card)\n"
    "  cashless-return CARD WALLET QTY SUM       CashlessReturn of CARD, its decimal digits\n";

bool IsEntryVerb(std::string_view word) { return FindVerb(word) != nullptr; }

std::uint8_t ParseWallet(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 255)
    throw UsageError("bad WALLET '" + std::string(text) + "': a whole number from 0 to 255");
  return static_cast<std::uint8_t>(value);
}

double ParseAmount(std::string_view what, std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // from_chars also reads "inf" and "nan"; neither is an amount a till could mean.
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    throw UsageError("bad " + std::string(what) + " '" + std::string(text) +
                     "': a number such as 2 or 99.99, with '.' as the decimal point");
  return value;
}

Command ParseCommand(const std::vector<std::string>& words) {
  if (words.empty()) throw UsageError("missing command");
  const VerbSpec* known = FindVerb(words[0]);
  if (known == nullptr) throw UsageError("unknown command '" + words[0] + "'");
  const std::size_t count = words.size() - 1;
  if (count < known->min_args || count > known->max_args)
    throw UsageError(std::string(count < known->min_args ? "missing arguments" : "too many arguments") +
                     ": usage: " + known->usage);

  Command c;
  c.verb = known->verb;
  auto arg = [&](std::size_t i) -> const std::string& { return words[i]; };
  switch (known->verb) {
    case Verb::Version:
    case Verb::BlankCard:
      break;
    case Verb::CardInfo:
      c.koshel = ParseWallet(arg(1));
      break;
    case Verb::Discount:
    case Verb::ForwardDiscount:
      c.type_oper = ParseOperation(arg(1));
      c.koshel = ParseWallet(arg(2));
      c.kolvo = ParseAmount("QTY", arg(3));
      c.summa = ParseAmount("SUM", arg(4));
      if (known->verb == Verb::Discount) {
        if (count >= 5) c.text2 = text::FromUtf8(arg(5));
      } else {
        if (count >= 5) c.text1 = text::FromUtf8(arg(5));
        if (count >= 6) c.text2 = text::FromUtf8(arg(6));
      }
      break;
    case Verb::CashlessSale:
      c.koshel = ParseWallet(arg(1));
      c.kolvo = ParseAmount("QTY", arg(2));
      c.summa = ParseAmount("SUM", arg(3));
      break;
    case Verb::CashlessReturn:
      // The driver reads the card text itself and raises its own message for a bad one.
      c.card = text::FromUtf8(arg(1));
      c.koshel = ParseWallet(arg(2));
      c.kolvo = ParseAmount("QTY", arg(3));
      c.summa = ParseAmount("SUM", arg(4));
      break;
  }
  return c;
}

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
  while (true) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            word += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        word += line[i++];
      }
      if (!closed) throw UsageError("unclosed quote");
      if (i < line.size() && !blank(line[i])) throw UsageError("a quoted word must be followed by a blank");
    } else {
      while (i < line.size() && !blank(line[i])) word += line[i++];
    }
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace sd::host
