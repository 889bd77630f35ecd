// One entry call per command, with the host's side of the contract: zeroed records, texts as the host's
// runtime passes them, and the runtime's exceptions caught and shown.
#include "tools/host/session.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "smartdriver/cp1251.h"
#include "smartdriver/host_text.h"
#include "tools/host/record_printer.h"

namespace sd::host {
namespace {

template <typename Record>
bool Untouched(const Record& record) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  return std::all_of(bytes, bytes + sizeof record, [](unsigned char b) { return b == 0; });
}

// Calls `call` with a zeroed record, prints the record, and reports what it raised; "" when nothing.
template <typename Record, typename Call, typename Print>
std::string Invoke(Call&& call, Print&& print, std::ostream& out) {
  Record record;
  std::memset(&record, 0, sizeof record);
  std::string raised;
  try {
    call(&record);
  } catch (const std::exception& e) {
    raised = text::ToUtf8(e.what());
    if (raised.empty()) raised = "(an exception without a message)";
  } catch (...) {
    raised = "(an exception of an unknown kind)";
  }
  if (raised.empty() || !Untouched(record)) print(record, out);
  return raised;
}

}  // namespace

bool Session::Run(const Command& c) {
  TSmartDriver* self = driver_;
  std::string raised;
  switch (c.verb) {
    case Verb::Version:
      raised = Invoke<VersionText>(
          [&](VersionText* r) { EntryOf<entry::GetVersion>(self, kGetVersion)(r, self); }, PrintVersion, out_);
      break;
    case Verb::BlankCard:
      raised = Invoke<CardInfo>(
          [&](CardInfo* r) { EntryOf<entry::BlankCardInfo>(self, kBlankCardInfo)(r, self, 0, 0); },
          PrintCardInfo, out_);
      break;
    case Verb::CardInfo:
      raised = Invoke<CardInfo>(
          [&](CardInfo* r) { EntryOf<entry::GetCardInfo>(self, kGetCardInfo)(r, self, c.koshel); },
          PrintCardInfo, out_);
      break;
    case Verb::Discount: {
      const HostText card_text(c.text2);
      raised = Invoke<DiscountResult>(
          [&](DiscountResult* r) {
            EntryOf<entry::DiscountOperation>(self, kDiscountOperation)(
                r, self, static_cast<std::uint8_t>(c.type_oper), c.koshel, c.kolvo, c.summa, nullptr,
                card_text.arg(), nullptr);
          },
          PrintDiscountResult, out_);
      break;
    }
    case Verb::ForwardDiscount: {
      const HostText text1(c.text1), text2(c.text2);
      raised = Invoke<DiscountResult>(
          [&](DiscountResult* r) {
            EntryOf<entry::ForwardDiscountOperation>(self, kForwardDiscountOperation)(
                r, self, static_cast<std::uint8_t>(c.type_oper), c.koshel, c.kolvo, c.summa, text1.arg(),
                text2.arg());
          },
          PrintDiscountResult, out_);
      break;
    }
    case Verb::CashlessSale:
      raised = Invoke<CashlessResult>(
          [&](CashlessResult* r) {
            EntryOf<entry::CashlessSale>(self, kCashlessSale)(r, self, 0, c.koshel, c.kolvo, c.summa);
          },
          PrintCashlessResult, out_);
      break;
    case Verb::CashlessReturn: {
      const HostText card(c.card);
      // The ignored byte array goes as a host passes an empty one: no elements, highest index -1.
      raised = Invoke<CashlessResult>(
          [&](CashlessResult* r) {
            EntryOf<entry::CashlessReturn>(self, kCashlessReturn)(r, self, 0, nullptr, card.arg(), nullptr, -1,
                                                                  c.koshel, c.kolvo, c.summa, 0);
          },
          PrintCashlessResult, out_);
      break;
    }
  }
  if (raised.empty()) return true;
  out_ << "error: " << raised << '\n';
  return false;
}

int Session::RunLines(std::istream& in, bool stop_on_error) {
  int failures = 0;
  bool first = true;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    out_ << (first ? "" : "\n") << "> " << line << '\n';
    first = false;
    bool ok = false;
    try {
      const auto words = SplitWords(line);
      if (!words.empty() && !IsEntryVerb(words[0]) && (words[0] == "run" || words[0] == "settings"))
        throw UsageError(words[0] + " cannot stand in a run file");
      ok = Run(ParseCommand(words));
    } catch (const UsageError& e) {
      out_ << "error: line " << number << ": " << e.what() << '\n';
    }
    out_.flush();
    if (!ok) {
      ++failures;
      if (stop_on_error) break;
    }
  }
  return failures;
}

}  // namespace sd::host
