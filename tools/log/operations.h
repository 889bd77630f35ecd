// The log's entries grouped into operations: the request line, the exchange thread's steps and frames,
// the success line, and the outcome with the operator message that the host was shown. Lines that an
// exchange thread wrote after a later operation had begun stay with their own operation, marked late.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/log/frame_fields.h"
#include "tools/log/log_lines.h"

namespace sd::logtool {

enum class Kind { CardInfo, SaleStart, Discount, SaleCancel, CashlessSale, CashlessReturn, Unknown };
enum class Outcome { Done, Refused, TimeOut, CommunicationFailure, ChecksumFailure, Unfinished };

const char* KindName(Kind kind);
const char* OutcomeName(Outcome outcome);

struct Step {
  Entry entry;
  bool late = false;                 // written after a later operation had begun
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
  std::vector<Step> steps;
  std::optional<FrameFields> sent, received;
  std::optional<std::string> failure;  // E of "Ошибка связи с сервером: E"
  bool exchange_started = false;
  bool exchange_ended_late = false;  // its reply or failure came after a later operation had begun
  Outcome outcome = Outcome::Unfinished;
  std::string message;  // the operator message of a failure, in UTF-8
  int late_lines = 0;

  // The card as best known: the success line's, the reply's, or the one a cancel or return sent.
  std::string Card() const;
  std::optional<int> Wallet() const;
};

struct Grouped {
  std::vector<Operation> operations;
  std::vector<Entry> outside;  // lines that belong to no operation: the library's load, strays
};

Grouped GroupOperations(const std::vector<Entry>& entries);

}  // namespace sd::logtool
