// The log's entries grouped into operations: the request line, the exchange thread's steps and frames,
// the success or failure line, and the outcome with the operator message that the host was shown. Lines
// that an exchange thread wrote after its operation had ended stay with their own operation, marked late.
// Operations are handed on as soon as no later line can belong to them, so a log of any size is grouped
// in a bounded memory.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_lines.h"
#include "tools/log/frame_fields.h"
#include "tools/log/log_reader.h"

namespace sd::logtool {

enum class Kind { CardInfo, SaleStart, Discount, SaleCancel, CashlessSale, CashlessReturn, Unknown };
enum class Outcome { Done, Refused, TimeOut, CommunicationFailure, ChecksumFailure, Failed, Damaged, Unfinished };
inline constexpr int kKinds = 7, kOutcomes = 8;

const char* KindName(Kind kind);
const char* OutcomeName(Outcome outcome);

// The classify step: which line of the driver's list an entry's text is, and the text after the line's
// own; nullopt for a text the driver does not write.
struct Classified {
  sd::log::LogLine line;
  std::string_view rest;
};
std::optional<Classified> Classify(std::string_view utf8_text);

struct Step {
  Entry entry;
  bool late = false;                                // written after its operation had ended
  std::optional<FrameFields> frame = std::nullopt;  // the decoded dump of a "данные:" line
};

struct Operation {
  Entry start;  // the first line: the blank line, or the request line of a card query
  Kind kind = Kind::Unknown;
  // key=value fields of the request line and of the success line, as written (Koshel, Kolvo, ...).
  std::map<std::string, std::string> request;
  std::map<std::string, std::string> result;
  bool has_request_line = false;
  bool has_success_line = false;
  std::optional<std::string> not_done;  // the message of "Операция не проведена: "
  std::vector<Step> steps;
  std::optional<FrameFields> sent, received;
  std::optional<std::string> failure;  // E of the thread's "Ошибка связи с сервером: E"
  bool exchange_started = false;
  bool exchange_ended = false;
  bool exchange_ended_late = false;  // its reply or failure came after the operation had ended
  std::string damage;                // why the log of this operation is incomplete; empty when whole
  Outcome outcome = Outcome::Unfinished;
  std::string message;  // the operator message of a failure, in UTF-8
  int late_lines = 0;
  std::int64_t end_key = -1;  // the stamp of its last line

  bool Ended() const { return has_success_line || not_done.has_value(); }
  // The card as best known: the success line's, the reply's, or the one a cancel or return sent.
  std::string Card() const;
  std::optional<int> Wallet() const;
};

// The assign step: each entry goes to the operation it belongs to; finished operations and lines of no
// operation are handed on in the order of the log.
class Grouper {
 public:
  using OnOperation = std::function<void(Operation&&)>;
  using OnOutside = std::function<void(const Entry&)>;
  Grouper(OnOperation on_operation, OnOutside on_outside);
  void Add(Entry entry);
  void Damaged(const BadLine& bad);  // a line that could not be read, among the current operation's
  void Finish();

 public:
  // The steps of one exchange thread, in the order it writes them.
  enum class State { Connecting, Connected, Sending, Sent, Receiving, Received, Disconnected, Ended };

 private:
  struct Exchange {
    std::uint64_t op;  // its operation's number from the start
    State state = State::Connecting;
    bool bad_reply = false;
    int announced = -1;
    std::optional<FrameFields> sent;
  };
  void Begin(const Entry& e);
  Operation* Current();
  void HostLine(Entry&& e, const Classified& c);
  void LinkLine(Entry&& e, const Classified& c);
  Exchange* Choose(sd::log::LogLine line, const Classified& c, std::optional<FrameFields>& dump);
  void Advance(Exchange& x, Entry&& e, const Classified& c, std::optional<FrameFields> dump);
  void PlaceCounts();
  void Emit(bool all);

  OnOperation on_operation_;
  OnOutside on_outside_;
  std::deque<Operation> ops_;
  std::deque<bool> followed_;
  std::uint64_t first_ = 0;  // the number of ops_.front() since the start
  std::vector<Exchange> open_;
  std::vector<Entry> counts_;  // "Пакет принят" lines not yet tied to an exchange
};

// Every operation of a log in memory, for small logs and the tests.
struct Grouped {
  std::vector<Operation> operations;
  std::vector<Entry> outside;  // lines that belong to no operation: the library's load, strays
};
Grouped GroupOperations(const std::vector<Entry>& entries);

}  // namespace sd::logtool
