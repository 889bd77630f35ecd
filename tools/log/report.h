// What smartdriver-log prints: the operations that pass the filters as one row each, in detail with
// every line and decoded frame, as a summary, or as JSON lines; and the damaged lines. Each printer
// takes the operations one at a time, as the grouping hands them on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/log/grouping.h"
#include "tools/log/log_reader.h"

namespace sd::logtool {

struct Filter {
  std::string card = {};       // digits; leading zeros do not count
  std::optional<int> wallet = std::nullopt;
  std::int64_t since = -1;     // Stamp keys; -1: no limit
  std::int64_t until = -1;
  bool failed_only = false;
  std::string message = {};    // UTF-8; the operator message must contain it
  std::int64_t at = -1;        // hhmmss: only operations under way within a minute of it, on any day
};

bool Passes(const Operation& op, const Filter& filter);

class Printer {
 public:
  virtual ~Printer() = default;
  virtual void Print(const Operation& op) = 0;
  virtual void Outside(const Entry&) {}
  virtual void Finish(std::size_t /*bad_lines*/) {}
};

enum class Mode { Rows, Details, Summary, Json };
std::unique_ptr<Printer> MakePrinter(Mode mode, std::ostream& out);

void PrintJson(std::ostream& out, const std::vector<const Operation*>& ops);
void PrintBadLine(std::ostream& out, const BadLine& bad);

}  // namespace sd::logtool
