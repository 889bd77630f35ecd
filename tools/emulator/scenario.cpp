// Scenario rules of the server emulator and their text format.
//
// A scenario file holds one rule a line; '#' starts a comment, blank lines are ignored:
//
//   default   KEY=VALUE ...   applies to every reply (over the command-line defaults)
//   request N KEY=VALUE ...   applies to the Nth request received (1-based, both ports together)
//   wallet W  KEY=VALUE ...   applies to every request for wallet W
//
// Rules are layered key by key: a request rule over a wallet rule over the default. Keys:
//
//   fault=none|silent|close|reset|split|badcrc|garbage|hangup|drip|noend|noendclose|trailing|flood|midreset
//                   (hangup comes before the request is read: a wallet rule cannot ask for it)
//   delay=MS        wait MS milliseconds before answering or acting on the fault
//   accept=MS       take the connection up only MS milliseconds after it came: nothing is read before
//                   then (also before the request: a wallet rule cannot ask for it)
//   type=N          reply type (0..255)
//   approval=N      approval field (signed 32-bit)
//   price=N         discounted unit price in hundredths (signed 32-bit); unset: from the request
//   discount=N      discount in tenths of a percent (0..255)
//   card=DIGITS     card number as up to ten digits, e.g. 0012345678
//
// Example:
//   request 1 fault=silent
//   request 2 delay=300 approval=0
//   wallet 3  type=2
#include "tools/emulator/scenario.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "exchange/codec.h"

namespace sd::emulator {
namespace {

struct FaultWord {
  const char* name;
  Fault fault;
};
constexpr FaultWord kFaults[] = {{"none", Fault::None},     {"silent", Fault::Silent},
                                 {"close", Fault::Close},   {"reset", Fault::Reset},
                                 {"split", Fault::Split},   {"badcrc", Fault::BadCrc},
                                 {"garbage", Fault::Garbage}, {"hangup", Fault::Hangup},
                                 {"drip", Fault::Drip},       {"noend", Fault::NoEnd},
                                 {"noendclose", Fault::NoEndClose}, {"trailing", Fault::Trailing},
                                 {"flood", Fault::Flood},     {"midreset", Fault::MidReset}};

long long Number(std::string_view text, long long low, long long high) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    throw std::runtime_error("bad number '" + std::string(text) + "'");
  return value;
}

void SetKey(ReplyPlan& plan, std::string_view key, std::string_view value) {
  if (key == "fault") {
    for (const auto& f : kFaults)
      if (value == f.name) {
        plan.fault = f.fault;
        return;
      }
    throw std::runtime_error("unknown fault '" + std::string(value) + "'");
  } else if (key == "delay") {
    plan.delay_ms = static_cast<int>(Number(value, 0, 3600000));
  } else if (key == "accept") {
    plan.accept_ms = static_cast<int>(Number(value, 0, 3600000));
  } else if (key == "type") {
    plan.type = static_cast<std::uint8_t>(Number(value, 0, 255));
  } else if (key == "approval") {
    plan.approval = static_cast<std::int32_t>(Number(value, INT32_MIN, INT32_MAX));
  } else if (key == "price") {
    plan.price = static_cast<std::int32_t>(Number(value, INT32_MIN, INT32_MAX));
  } else if (key == "discount") {
    plan.discount = static_cast<std::uint8_t>(Number(value, 0, 255));
  } else if (key == "card") {
    if (value.empty() || value.size() > 10) throw std::runtime_error("card needs 1 to 10 digits");
    plan.card = sd::exchange::HexDigitsToInt64(value);
  } else {
    throw std::runtime_error("unknown key '" + std::string(key) + "'");
  }
}

}  // namespace

const char* const kScenarioHelp =
    "Scenario file: one rule a line, '#' starts a comment.\n"
    "  default   KEY=VALUE ...   every reply\n"
    "  request N KEY=VALUE ...   the Nth request received (1-based, both ports together)\n"
    "  wallet W  KEY=VALUE ...   every request for wallet W\n"
    "A request rule wins over a wallet rule, which wins over the default, key by key.\n"
    "Keys: fault=FAULT  delay=MS  accept=MS  type=N  approval=N  price=N (discounted, hundredths)\n"
    "      discount=N (tenths)  card=DIGITS\n"
    "Faults: none        answer\n"
    "        silent      never answer, keep the connection open\n"
    "        close       close without answering\n"
    "        reset       reset without answering\n"
    "        split       answer in two pieces, a pause between\n"
    "        badcrc      answer with a wrong checksum\n"
    "        garbage     answer with bytes that are no reply, terminated\n"
    "        hangup      close as soon as the connection comes, before the request\n"
    "        drip        answer one byte every 20 ms\n"
    "        noend       answer without the terminator, then stay silent\n"
    "        noendclose  answer without the terminator, then close\n"
    "        trailing    answer with more bytes after the terminator, in the same send\n"
    "        flood       send 1 MiB in which no terminator comes\n"
    "        midreset    send half the answer, then reset\n"
    "delay=MS waits before answering or acting on the fault; accept=MS takes the connection up only\n"
    "MS after it came, reading nothing before. hangup and accept come before the request is read:\n"
    "a wallet rule cannot ask for them.\n";

void ReplyPlan::Overlay(const ReplyPlan& over) {
  if (over.fault) fault = over.fault;
  if (over.delay_ms) delay_ms = over.delay_ms;
  if (over.accept_ms) accept_ms = over.accept_ms;
  if (over.type) type = over.type;
  if (over.approval) approval = over.approval;
  if (over.price) price = over.price;
  if (over.discount) discount = over.discount;
  if (over.card) card = over.card;
}

ReplyPlan Scenario::PlanFor(int sequence, int wallet) const {
  ReplyPlan plan = defaults;
  if (auto it = wallets.find(wallet); it != wallets.end()) plan.Overlay(it->second);
  if (auto it = requests.find(sequence); it != requests.end()) plan.Overlay(it->second);
  return plan;
}

Scenario ParseScenario(std::string_view text) {
  Scenario scenario;
  std::istringstream lines{std::string(text)};
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    try {
      if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
      std::istringstream words(line);
      std::string kind;
      if (!(words >> kind)) continue;
      ReplyPlan* plan = nullptr;
      if (kind == "default") {
        plan = &scenario.defaults;
      } else if (kind == "request" || kind == "wallet") {
        std::string index;
        if (!(words >> index)) throw std::runtime_error(kind + " needs a number");
        const bool by_request = kind == "request";
        const int n = static_cast<int>(Number(index, by_request ? 1 : 0, by_request ? INT32_MAX : 255));
        plan = by_request ? &scenario.requests[n] : &scenario.wallets[n];
      } else {
        throw std::runtime_error("unknown rule '" + kind + "'");
      }
      for (std::string word; words >> word;) {
        const auto eq = word.find('=');
        if (eq == std::string::npos) throw std::runtime_error("expected KEY=VALUE, got '" + word + "'");
        SetKey(*plan, std::string_view(word).substr(0, eq), std::string_view(word).substr(eq + 1));
      }
      if (kind == "wallet" && plan->fault == Fault::Hangup)
        throw std::runtime_error("a hang-up comes before the wallet is known");
      if (kind == "wallet" && plan->accept_ms)
        throw std::runtime_error("taking the connection up comes before the wallet is known");
    } catch (const std::exception& e) {
      throw std::runtime_error("scenario line " + std::to_string(number) + ": " + e.what());
    }
  }
  return scenario;
}

Scenario LoadScenarioFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot read scenario file " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return ParseScenario(text.str());
}

const char* FaultName(Fault fault) {
  for (const auto& f : kFaults)
    if (f.fault == fault) return f.name;
  return "?";
}

}  // namespace sd::emulator
