// Grouping the log into operations. The host's thread writes the blank line, the request line and the
// success or failure line of the operation under way; every exchange thread writes its steps in a fixed
// order, so each of its lines goes to the one exchange whose next step it can be. Where several could
// take it, the frames decide: a reply carries back its request's counter and wallet.
#include "tools/log/grouping.h"

#include <algorithm>
#include <array>

#include "smartdriver/cp1251.h"

namespace sd::logtool {

using sd::log::LogLine;
using State = Grouper::State;

namespace {

// How many operations may wait for a late line of their exchange before they are handed on regardless.
constexpr std::size_t kWindow = 32;

// The list's texts in UTF-8, longest first, so that a line is taken for the longest text it begins with.
struct Row {
  LogLine line;
  std::string text;
  bool whole;
};
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = [] {
    std::vector<Row> out;
    for (const auto& row : sd::log::kLogLines) {
      std::string text = text::ToUtf8(row.text);
      if (text.ends_with("\r\n")) text.resize(text.size() - 2);  // the reader keeps no empty continuation
      out.push_back({row.line, std::move(text), row.fields.empty()});
    }
    std::stable_sort(out.begin(), out.end(), [](const Row& a, const Row& b) { return a.text.size() > b.text.size(); });
    return out;
  }();
  return rows;
}

const std::string& Utf8(LogLine line) {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> out;
    for (const auto& row : sd::log::kLogLines) out.push_back(text::ToUtf8(row.text));
    return out;
  }();
  return texts[static_cast<std::size_t>(line)];
}

std::optional<Kind> RequestKind(LogLine line) {
  switch (line) {
    case LogLine::CardInfo: return Kind::CardInfo;
    case LogLine::SaleStart: return Kind::SaleStart;
    case LogLine::Discount: return Kind::Discount;
    case LogLine::SaleCancel: return Kind::SaleCancel;
    case LogLine::CashlessSale: return Kind::CashlessSale;
    case LogLine::CashlessReturn: return Kind::CashlessReturn;
    default: return std::nullopt;
  }
}

bool IsLinkLine(LogLine line) { return line >= LogLine::Connecting; }

// The number in "Пакет отправлен (18 байт)", or -1. No packet the driver logs has more than nine digits
// of bytes, so a longer number is damage, not a count to be wrapped into a plausible one.
int AnnouncedCount(std::string_view rest) {
  int n = 0, digits = 0;
  for (std::size_t i = 0; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i, ++digits) {
    if (digits == 9) return -1;
    n = n * 10 + (rest[i] - '0');
  }
  return digits > 0 ? n : -1;
}

// key=value fields after the line's title; a value runs on to the next known key, so a card text may hold blanks.
std::map<std::string, std::string> Fields(std::string_view text) {
  static constexpr std::array<std::string_view, 10> kKeys{
      "TypeOper", "Koshel", "Kolvo", "Summa", "карта", "NumberCard", "SummaSk", "CosteSk", "PriceSk", "Skidka"};
  text = text.substr(std::min(text.size(), text.find(':') + 1));
  std::map<std::string, std::string> fields;
  std::string* value = nullptr;
  while (!text.empty()) {
    const std::size_t blank = text.find(' ');
    const std::string_view word = text.substr(0, blank);
    text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
    const std::size_t eq = word.find('=');
    if (eq != std::string_view::npos && std::find(kKeys.begin(), kKeys.end(), word.substr(0, eq)) != kKeys.end()) {
      value = &fields[std::string(word.substr(0, eq))];
      *value = word.substr(eq + 1);
    } else if (value != nullptr) {
      *value += " " + std::string(word);
    }
  }
  return fields;
}

bool IsDiscountKind(Kind kind) {
  return kind == Kind::SaleStart || kind == Kind::Discount || kind == Kind::SaleCancel || kind == Kind::Unknown;
}

// What an operator message says of the outcome.
Outcome OutcomeOf(std::string_view message) {
  const std::string_view failure = std::string_view(Utf8(LogLine::LinkFailure)).substr(std::string_view("[СВЯЗЬ] ").size());
  const std::string_view checksum = std::string_view(Utf8(LogLine::BadChecksum)).substr(std::string_view("[СВЯЗЬ] ").size());
  if (message.ends_with(": TimeOut")) return Outcome::TimeOut;
  if (message.starts_with(failure))
    return message.substr(failure.size()).starts_with(checksum) ? Outcome::ChecksumFailure : Outcome::CommunicationFailure;
  if (message == "Сервер \"Вельтор\" отменил операцию") return Outcome::Refused;
  return Outcome::Failed;
}

// The outcome of an operation that the host's thread ended with its own line, or, in a log without
// failure lines, what the driver does for certain with what the exchange thread wrote; never a guess.
void Conclude(Operation& op, bool followed) {
  auto set = [&](Outcome outcome, std::string message) { op.outcome = outcome, op.message = std::move(message); };
  const std::string timeout = IsDiscountKind(op.kind) ? "Не удалось получить скидку: TimeOut" : "Продажа б/н не проведена: TimeOut";
  if (op.has_request_line == false && op.exchange_started && op.damage.empty()) op.damage = "its request line is missing";
  if (op.has_success_line) return set(Outcome::Done, "");
  if (op.not_done) return set(OutcomeOf(*op.not_done), *op.not_done);
  if (op.failure) {
    // The thread's own limits run out just after the operation's wait: its failure then is a time-out.
    if (op.exchange_ended_late || *op.failure == "Read Timeout" || *op.failure == "Connect timed out.")
      return set(Outcome::TimeOut, timeout);
    const std::string message = Utf8(LogLine::LinkFailure).substr(std::string_view("[СВЯЗЬ] ").size()) + *op.failure;
    return set(OutcomeOf(message), message);
  }
  const bool good_reply = op.received && op.received->decoded && op.received->checksum_ok;
  if (good_reply && op.exchange_ended_late) return set(Outcome::TimeOut, timeout);
  if (good_reply && op.kind == Kind::CardInfo) return set(Outcome::Done, "");
  if (good_reply && (op.kind == Kind::CashlessSale || op.kind == Kind::CashlessReturn) && op.received->has_fields &&
      op.received->approval == 0)
    return set(Outcome::Refused, "Сервер \"Вельтор\" отменил операцию");
  if (!followed) return set(Outcome::Unfinished, "");
  if (op.damage.empty())
    op.damage = good_reply ? "the line of its result is missing" : "the log does not show how it ended";
  set(Outcome::Damaged, "");
}

}  // namespace

const char* KindName(Kind kind) {
  static constexpr const char* kNames[] = {"card-info",     "sale-start",      "discount", "sale-cancel",
                                           "cashless-sale", "cashless-return", "unknown"};
  return kNames[static_cast<int>(kind)];
}

const char* OutcomeName(Outcome outcome) {
  static constexpr const char* kNames[] = {"done",   "refused", "time-out", "comm-failure", "checksum-failure",
                                           "failed", "damaged", "unfinished"};
  return kNames[static_cast<int>(outcome)];
}

std::optional<Classified> Classify(std::string_view text) {
  for (const Row& row : Rows())
    if (row.whole ? text == row.text : text.starts_with(row.text))
      return Classified{row.line, text.substr(row.text.size())};
  return std::nullopt;
}

std::string Operation::Card() const {
  if (auto it = result.find("NumberCard"); it != result.end() && !it->second.empty()) return it->second;
  // A reply that came after the operation had ended never reached the host.
  if (received && received->has_fields && received->checksum_ok && !exchange_ended_late) return received->card;
  if (sent && sent->decoded && sent->type == 2) return sent->card;
  return "";
}

std::optional<int> Operation::Wallet() const {
  if (auto it = request.find("Koshel"); it != request.end()) {
    const std::string& v = it->second;
    if (!v.empty() && v.size() <= 3 && v.find_first_not_of("0123456789") == std::string::npos) return std::stoi(v);
  }
  if (sent && sent->decoded) return sent->wallet;
  return std::nullopt;
}

Grouper::Grouper(OnOperation on_operation, OnOutside on_outside)
    : on_operation_(std::move(on_operation)), on_outside_(std::move(on_outside)) {}

Operation* Grouper::Current() { return ops_.empty() ? nullptr : &ops_.back(); }

void Grouper::Begin(const Entry& e) {
  if (!followed_.empty()) followed_.back() = true;
  ops_.emplace_back();
  ops_.back().start = e;
  ops_.back().steps.reserve(12);  // an operation's usual lines
  followed_.push_back(false);
  Emit(false);
}

void Grouper::Add(Entry e) {
  const std::optional<Classified> c = Classify(e.text);
  if (c && c->line == LogLine::Loaded) {
    // A new load of the library: no thread of an earlier one writes any more.
    for (auto&& f : followed_) f = true;
    PlaceCounts();
    open_.clear();
    Emit(true);
    on_outside_(e);
  } else if (c && IsLinkLine(c->line)) {
    LinkLine(std::move(e), *c);
  } else if (c) {
    HostLine(std::move(e), *c);
  } else if (Operation* op = Current()) {
    op->steps.push_back({std::move(e)});
  } else {
    on_outside_(e);
  }
}

void Grouper::HostLine(Entry&& e, const Classified& c) {
  Operation* op = Current();
  if (c.line == LogLine::Blank) {
    Begin(e);
  } else if (const auto kind = RequestKind(c.line)) {
    // The blank line that opened a discount or cashless operation is followed by its request line.
    const bool joins = op != nullptr && op->steps.size() == 1 && op->start.text == " " && *kind != Kind::CardInfo;
    if (!joins) Begin(e);
    op = Current();
    op->kind = *kind;
    op->has_request_line = true;
    op->request = Fields(e.text);
  } else if (op == nullptr || op->Ended()) {
    // An end with no operation under way: a failure before the operation began, or a stray success line.
    if (c.line != LogLine::NotDone) return on_outside_(e);
    Begin(e);
  }
  op = Current();
  if (c.line == LogLine::NotDone) {
    op->not_done = std::string(c.rest);
  } else if (c.line == LogLine::DiscountDone || c.line == LogLine::CashlessDone || c.line == LogLine::ReturnDone) {
    op->has_success_line = true;
    op->result = Fields(e.text);
  }
  op->end_key = e.stamp.key;
  op->steps.push_back({std::move(e)});
}

void Grouper::LinkLine(Entry&& e, const Classified& c) {
  if (c.line == LogLine::Connecting) {
    // Each operation runs one exchange; a second one belongs to an operation whose request line is missing.
    Operation* op = Current();
    if (op == nullptr || op->exchange_started || op->Ended()) Begin(e);
    op = Current();
    op->exchange_started = true;
    op->end_key = e.stamp.key;
    op->steps.push_back({std::move(e)});
    open_.push_back({first_ + ops_.size() - 1, State::Connecting, false, -1, std::nullopt});
    return;
  }
  // A count that more than one exchange could have received waits for its dump, which names its request.
  const auto sent = std::count_if(open_.begin(), open_.end(), [](const Exchange& x) { return x.state == State::Sent; });
  if (c.line == LogLine::Received && sent > 1) return counts_.push_back(std::move(e));
  std::optional<FrameFields> dump;
  Exchange* x = Choose(c.line, c, dump);
  if (x != nullptr) return Advance(*x, std::move(e), c, std::move(dump));
  if (Operation* op = Current()) {
    op->steps.push_back({std::move(e)});
    if (op->damage.empty()) op->damage = "a line out of its exchange's order";
  } else {
    on_outside_(e);
  }
}

Grouper::Exchange* Grouper::Choose(LogLine line, const Classified& c, std::optional<FrameFields>& dump) {
  auto accepts = [&](const Exchange& x) {
    switch (line) {
      case LogLine::Connected: return x.state == State::Connecting;
      case LogLine::Sent: return x.state == State::Connected;
      case LogLine::Received: return x.state == State::Sent;
      case LogLine::BadChecksum:
      case LogLine::BadData: return x.state == State::Received;
      case LogLine::Disconnected: return x.state >= State::Connected && x.state <= State::Received;
      case LogLine::LinkFailure: return x.state != State::Ended;
      default: return false;
    }
  };
  const bool sending = std::any_of(open_.begin(), open_.end(), [](const Exchange& x) { return x.state == State::Sending; });
  if (line == LogLine::Dump) dump = DecodeDump(c.rest, sending);
  // Of the exchanges that can take the line, the one its frame or its byte count names, else the oldest.
  auto score = [&](const Exchange& x) -> int {
    if (line == LogLine::LinkFailure) return x.state == State::Disconnected || x.bad_reply ? 1 : 0;
    if (line != LogLine::Dump) return accepts(x) ? 0 : -1;
    if (sending) return x.state == State::Sending ? (x.announced == static_cast<int>(dump->raw.size()) ? 1 : 0) : -1;
    if (x.state != State::Receiving && !(x.state == State::Sent && !counts_.empty())) return -1;
    const bool echoes = dump->has_echo && x.sent && x.sent->decoded && x.sent->counter == dump->counter &&
                        x.sent->wallet == dump->wallet;
    return (echoes ? 2 : 0) + (x.announced == static_cast<int>(dump->raw.size()) ? 1 : 0);
  };
  Exchange* chosen = nullptr;
  int best = -1;
  for (Exchange& x : open_)
    if (const int s = score(x); s > best && (line == LogLine::Dump || accepts(x))) chosen = &x, best = s;
  return chosen;
}

void Grouper::Advance(Exchange& x, Entry&& e, const Classified& c, std::optional<FrameFields> dump) {
  Operation& op = ops_[x.op - first_];
  if (dump && !dump->request && x.state == State::Sent) {
    // The waiting count of this reply's bytes comes first.
    auto it = std::find_if(counts_.begin(), counts_.end(), [&](const Entry& n) {
      return AnnouncedCount(Classify(n.text)->rest) == static_cast<int>(dump->raw.size());
    });
    if (it == counts_.end()) it = counts_.begin();
    Entry count = std::move(*it);
    counts_.erase(it);
    const Classified counted = *Classify(count.text);
    Advance(x, std::move(count), counted, std::nullopt);
  }
  const bool late = x.op + 1 != first_ + ops_.size() || op.not_done.has_value();
  op.late_lines += late ? 1 : 0;
  switch (c.line) {
    case LogLine::Connected: x.state = State::Connected; break;
    case LogLine::Sent:
    case LogLine::Received:
      x.state = c.line == LogLine::Sent ? State::Sending : State::Receiving;
      x.announced = AnnouncedCount(c.rest);
      break;
    case LogLine::Dump:
      (dump->request ? op.sent : op.received) = dump;
      if (dump->request) x.sent = dump;
      x.state = dump->request ? State::Sent : State::Received;
      if (!dump->request) op.exchange_ended_late = late;
      break;
    case LogLine::BadChecksum:
    case LogLine::BadData: x.bad_reply = true; break;
    case LogLine::Disconnected: x.state = x.state == State::Received && !x.bad_reply ? State::Ended : State::Disconnected; break;
    case LogLine::LinkFailure:
      op.failure = std::string(c.rest);
      op.exchange_ended_late = late;
      x.state = State::Ended;
      break;
    default: break;
  }
  op.exchange_ended = op.exchange_ended || x.state == State::Ended;
  op.end_key = std::max(op.end_key, e.stamp.key);
  op.steps.push_back({std::move(e), late, std::move(dump)});
  std::erase_if(open_, [](const Exchange& o) { return o.state == State::Ended; });
}

void Grouper::Damaged(const BadLine& bad) {
  if (Operation* op = Current(); op != nullptr && op->damage.empty()) op->damage = "a damaged line: " + bad.reason;
}

void Grouper::Emit(bool all) {
  while (!ops_.empty()) {
    const bool busy = std::any_of(open_.begin(), open_.end(), [&](const Exchange& x) { return x.op == first_; });
    if (!all && (!followed_.front() || busy) && ops_.size() <= kWindow) return;
    std::erase_if(open_, [&](const Exchange& x) { return x.op == first_; });
    Operation op = std::move(ops_.front());
    Conclude(op, followed_.front());
    ops_.pop_front();
    followed_.pop_front();
    ++first_;
    on_operation_(std::move(op));
  }
}

// Counts whose dump never came go to the oldest exchange that can take them, or stand as strays.
void Grouper::PlaceCounts() {
  while (!counts_.empty()) {
    Entry count = std::move(counts_.front());
    counts_.erase(counts_.begin());
    const Classified c = *Classify(count.text);
    std::optional<FrameFields> none;
    if (Exchange* x = Choose(c.line, c, none)) {
      Advance(*x, std::move(count), c, std::nullopt);
    } else {
      Operation& op = ops_.back();  // a count waits only while exchanges, and so operations, are open
      if (op.damage.empty()) op.damage = "a line out of its exchange's order";
      op.steps.push_back({std::move(count)});
    }
  }
}

void Grouper::Finish() {
  PlaceCounts();
  Emit(true);
}

Grouped GroupOperations(const std::vector<Entry>& entries) {
  Grouped g;
  Grouper grouper([&](Operation&& op) { g.operations.push_back(std::move(op)); },
                  [&](const Entry& e) { g.outside.push_back(e); });
  for (const Entry& e : entries) grouper.Add(e);
  grouper.Finish();
  return g;
}

}  // namespace sd::logtool
