// Grouping the log into operations. The host's thread writes the blank line, the request line and the
// success line of the operation under way; every exchange thread writes its steps in a fixed order, so
// each of its lines goes to the one exchange whose next step it can be, also when an older exchange's
// last lines fall among a newer operation's.
#include "tools/log/operations.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace sd::logtool {
namespace {

struct Prefix {
  std::string_view text;
  Kind kind;
};
constexpr std::array<Prefix, 6> kRequestLines{{
    {"Старт продажи: ", Kind::SaleStart},
    {"Запрос скидки: ", Kind::Discount},
    {"Отмена продажи: ", Kind::SaleCancel},
    {"Продажа б/н: ", Kind::CashlessSale},
    {"Возврат б/н: ", Kind::CashlessReturn},
    {"Инфо по карте: ", Kind::CardInfo},
}};
constexpr std::array<std::string_view, 3> kSuccessLines{
    "Операция ЗУЛ проведена: ", "Операция б/н проведена: ", "Операция возврат проведена: "};
constexpr std::string_view kLoaded = "Драйвер загружен";
constexpr std::string_view kLink = "[СВЯЗЬ]";
constexpr std::string_view kFailure = "Ошибка связи с сервером: ";
constexpr std::string_view kChecksum = "Неверная контрольная сумма входящего пакета (";

// The steps of one exchange thread, in the order it writes them.
enum class Line { Connect, Established, SentCount, Dump, ReceivedCount, BadReply, Disconnect, Failure, Other };
enum class State { Connecting, Connected, Sending, Sent, Receiving, Received, Disconnected, Ended };

Line Classify(std::string_view text) {
  text.remove_prefix(kLink.size());
  if (text.starts_with("Ошибка в принятых данных: ")) return Line::BadReply;
  if (!text.starts_with(' ')) return Line::Other;
  text.remove_prefix(1);
  if (text.starts_with("Соединение... (IP ")) return Line::Connect;
  if (text == "Соединение установлено") return Line::Established;
  if (text.starts_with("Пакет отправлен (")) return Line::SentCount;
  if (text.starts_with("данные:")) return Line::Dump;
  if (text.starts_with("Пакет принят (")) return Line::ReceivedCount;
  if (text.starts_with(kChecksum)) return Line::BadReply;
  if (text == "Отключение от сервера") return Line::Disconnect;
  if (text.starts_with(kFailure)) return Line::Failure;
  return Line::Other;
}

// The number in "Пакет отправлен (18 байт)", or -1.
int AnnouncedCount(std::string_view text) {
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos) return -1;
  int n = 0, digits = 0;
  for (std::size_t i = open + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
    n = n * 10 + (text[i] - '0');
  return digits > 0 ? n : -1;
}

struct Open {
  std::size_t op;
  State state = State::Connecting;
  bool bad_reply = false;
  int announced = -1;
};

bool Accepts(const Open& x, Line line) {
  switch (line) {
    case Line::Established: return x.state == State::Connecting;
    case Line::SentCount: return x.state == State::Connected;
    case Line::Dump: return x.state == State::Sending || x.state == State::Receiving;
    case Line::ReceivedCount: return x.state == State::Sent;
    case Line::BadReply: return x.state == State::Received;
    case Line::Disconnect: return x.state >= State::Connected && x.state <= State::Received;
    case Line::Failure: return x.state != State::Ended;
    default: return false;
  }
}

// key=value fields; a value runs on to the next known key, so a card text may hold blanks.
std::map<std::string, std::string> Fields(std::string_view text) {
  static constexpr std::array<std::string_view, 10> kKeys{
      "TypeOper", "Koshel", "Kolvo", "Summa", "карта", "NumberCard", "SummaSk", "CosteSk", "PriceSk", "Skidka"};
  std::map<std::string, std::string> fields;
  std::string* value = nullptr;
  while (!text.empty()) {
    const std::size_t blank = text.find(' ');
    const std::string_view word = text.substr(0, blank);
    text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
    const std::size_t eq = word.find('=');
    if (eq != std::string_view::npos &&
        std::find(kKeys.begin(), kKeys.end(), word.substr(0, eq)) != kKeys.end()) {
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

void Conclude(Operation& op, bool followed) {
  const std::string timeout = IsDiscountKind(op.kind) ? "Не удалось получить скидку: TimeOut"
                                                      : "Продажа б/н не проведена: TimeOut";
  const bool good_reply = op.received && op.received->decoded && op.received->checksum_ok;
  auto set = [&](Outcome outcome, std::string message) {
    op.outcome = outcome;
    op.message = std::move(message);
  };
  if (op.has_success_line) return set(Outcome::Done, "");
  if (op.failure) {
    // The thread's own limits run out after the operation's wait, so their failure means a time-out.
    if (op.exchange_ended_late || *op.failure == "Read Timeout" || *op.failure == "Connect timed out.")
      return set(Outcome::TimeOut, timeout);
    const Outcome kind = op.failure->starts_with(kChecksum) ? Outcome::ChecksumFailure : Outcome::CommunicationFailure;
    return set(kind, std::string(kFailure) + *op.failure);
  }
  if (good_reply) {
    if (op.exchange_ended_late) return set(Outcome::TimeOut, timeout);
    if (op.kind == Kind::CardInfo) return set(Outcome::Done, "");
    if ((op.kind == Kind::CashlessSale || op.kind == Kind::CashlessReturn) && op.received->has_fields &&
        op.received->approval == 0)
      return set(Outcome::Refused, "Сервер \"Вельтор\" отменил операцию");
  }
  // A later operation began while this one had no end: it had stopped waiting.
  if (followed && op.exchange_started) return set(Outcome::TimeOut, timeout);
  set(Outcome::Unfinished, "");
}

}  // namespace

const char* KindName(Kind kind) {
  static constexpr const char* kNames[] = {"card-info",     "sale-start",      "discount", "sale-cancel",
                                           "cashless-sale", "cashless-return", "unknown"};
  return kNames[static_cast<int>(kind)];
}

const char* OutcomeName(Outcome outcome) {
  static constexpr const char* kNames[] = {"done",          "refused",          "time-out",
                                           "comm-failure",  "checksum-failure", "unfinished"};
  return kNames[static_cast<int>(outcome)];
}

std::string Operation::Card() const {
  if (auto it = result.find("NumberCard"); it != result.end() && !it->second.empty()) return it->second;
  if (received && received->has_fields && received->checksum_ok) return received->card;
  if (sent && sent->decoded && sent->type == 2) return sent->card;
  return "";
}

std::optional<int> Operation::Wallet() const {
  if (auto it = request.find("Koshel"); it != request.end()) {
    try {
      return std::stoi(it->second);
    } catch (...) {
    }
  }
  if (sent && sent->decoded) return sent->wallet;
  return std::nullopt;
}

Grouped GroupOperations(const std::vector<Entry>& entries) {
  Grouped g;
  std::vector<Open> open;
  std::vector<bool> followed;
  auto begin = [&](const Entry& e) {
    if (!followed.empty()) followed.back() = true;
    g.operations.push_back({});
    g.operations.back().start = e;
    followed.push_back(false);
  };

  for (const Entry& e : entries) {
    const std::string_view text = e.text;
    Operation* current = g.operations.empty() ? nullptr : &g.operations.back();
    if (text == kLoaded) {
      // A new load of the library: no thread of an earlier one writes any more.
      if (!followed.empty()) followed.back() = true;
      open.clear();
      g.outside.push_back(e);
      continue;
    }
    if (text == " ") {
      begin(e);
      g.operations.back().steps.push_back({e});
      continue;
    }
    if (auto it = std::find_if(kRequestLines.begin(), kRequestLines.end(),
                               [&](const Prefix& p) { return text.starts_with(p.text); });
        it != kRequestLines.end()) {
      // The blank line that opened a discount or cashless operation is followed by its request line.
      const bool joins = current != nullptr && current->steps.size() == 1 && current->start.text == " " &&
                         it->kind != Kind::CardInfo;
      if (!joins) begin(e);
      Operation& op = g.operations.back();
      op.kind = it->kind;
      op.has_request_line = true;
      op.request = Fields(text.substr(it->text.size()));
      op.steps.push_back({e});
      continue;
    }
    if (std::any_of(kSuccessLines.begin(), kSuccessLines.end(), [&](std::string_view p) { return text.starts_with(p); })) {
      if (current == nullptr) {
        g.outside.push_back(e);
        continue;
      }
      current->has_success_line = true;
      current->result = Fields(text.substr(text.find(": ") + 2));
      current->steps.push_back({e});
      continue;
    }
    if (!text.starts_with(kLink)) {
      (current != nullptr ? current->steps.push_back({e}) : g.outside.push_back(e));
      continue;
    }

    const Line line = Classify(text);
    if (line == Line::Connect) {
      // Each operation runs one exchange; a second one belongs to an operation that wrote no request line.
      if (current == nullptr || current->exchange_started) begin(e);
      Operation& op = g.operations.back();
      op.exchange_started = true;
      op.steps.push_back({e});
      open.push_back({g.operations.size() - 1});
      continue;
    }
    // Of the exchanges this line fits, the oldest, unless the byte count or the failure picks another.
    const int dump_bytes =
        line == Line::Dump ? static_cast<int>(DecodeDump(text.substr(text.find(':') + 1), true).raw.size()) : -1;
    auto fits_best = [&](const Open& x) {
      return (line == Line::Dump && x.announced == dump_bytes) ||
             (line == Line::Failure && (x.state == State::Disconnected || x.bad_reply));
    };
    Open* chosen = nullptr;
    for (Open& x : open)
      if (Accepts(x, line) && (chosen == nullptr || (fits_best(x) && !fits_best(*chosen)))) chosen = &x;
    if (chosen == nullptr) {
      (current != nullptr ? current->steps.push_back({e}) : g.outside.push_back(e));
      continue;
    }
    Operation& op = g.operations[chosen->op];
    Step step{e};
    step.late = chosen->op + 1 != g.operations.size();
    op.late_lines += step.late ? 1 : 0;
    switch (line) {
      case Line::Established: chosen->state = State::Connected; break;
      case Line::SentCount:
      case Line::ReceivedCount:
        chosen->state = line == Line::SentCount ? State::Sending : State::Receiving;
        chosen->announced = AnnouncedCount(text);
        break;
      case Line::Dump: {
        const bool request = chosen->state == State::Sending;
        step.frame = DecodeDump(text.substr(text.find(':') + 1), request);
        (request ? op.sent : op.received) = step.frame;
        chosen->state = request ? State::Sent : State::Received;
        if (!request) op.exchange_ended_late = step.late;
        break;
      }
      case Line::BadReply: chosen->bad_reply = true; break;
      case Line::Disconnect:
        chosen->state = chosen->state == State::Received && !chosen->bad_reply ? State::Ended : State::Disconnected;
        break;
      case Line::Failure: {
        const std::string_view rest = text.substr(text.find(kFailure) + kFailure.size());
        op.failure = std::string(rest);
        op.exchange_ended_late = step.late;
        chosen->state = State::Ended;
        break;
      }
      default: break;
    }
    op.steps.push_back(std::move(step));
    open.erase(std::remove_if(open.begin(), open.end(), [](const Open& x) { return x.state == State::Ended; }),
               open.end());
  }
  for (std::size_t i = 0; i < g.operations.size(); ++i) Conclude(g.operations[i], followed[i]);
  return g;
}

}  // namespace sd::logtool
