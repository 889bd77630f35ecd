// What the emulator answers to each request: the reply fields and the faults, set per request in order
// of arrival or per wallet, from a scenario file or from a test.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sd::emulator {

enum class Fault {
  None,        // answer normally
  Silent,      // keep the connection open and never answer
  Close,       // close without answering
  Reset,       // close with a reset (SO_LINGER 0)
  Split,       // answer in two pieces with a short pause between
  BadCrc,      // answer with a wrong checksum
  Garbage,     // answer with bytes that are no reply
  Hangup,      // close as soon as the connection is accepted, before reading a request
  Drip,        // answer one byte at a time, a short pause after each
  NoEnd,       // answer without the terminator, then stay silent
  NoEndClose,  // answer without the terminator, then close
  Trailing,    // answer, with more bytes after the terminator in the same send
  Flood,       // send a mebibyte that holds no terminator
  MidReset,    // send the first half of the answer, then reset
};

// Every field is optional so that rules can be layered key by key.
struct ReplyPlan {
  std::optional<Fault> fault;
  std::optional<int> delay_ms;          // wait this long before answering (or acting on the fault)
  std::optional<int> accept_ms;         // take the connection up only this long after it came
  std::optional<std::uint8_t> type;     // reply type
  std::optional<std::int32_t> approval;
  std::optional<std::int32_t> price;    // discounted price; unset: computed from the request
  std::optional<std::uint8_t> discount; // tenths of a percent
  std::optional<std::int64_t> card;     // 40-bit packed decimal value, as CardNumberText shows it

  // The fields that `over` sets replace these.
  void Overlay(const ReplyPlan& over);
};

struct Scenario {
  ReplyPlan defaults;
  std::map<int, ReplyPlan> requests;  // by 1-based number of arrival, both ports counted together
  std::map<int, ReplyPlan> wallets;

  // Defaults, then the wallet's rule, then the request's rule.
  ReplyPlan PlanFor(int sequence, int wallet) const;
};

// Reads a scenario text; a malformed line raises std::runtime_error naming the line.
Scenario ParseScenario(std::string_view text);
Scenario LoadScenarioFile(const std::string& path);

// The format, as --help prints it.
extern const char* const kScenarioHelp;

const char* FaultName(Fault fault);

}  // namespace sd::emulator
