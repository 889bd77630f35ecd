// What smartdriver-log prints: the operations that pass the filters as one row each, in detail with
// every line and decoded frame, as a summary, or as JSON lines; and the damaged lines.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/log/log_lines.h"
#include "tools/log/operations.h"

namespace sd::logtool {

struct Filter {
  std::string card = {};       // digits; leading zeros do not count
  std::optional<int> wallet = std::nullopt;
  std::int64_t since = -1;     // Stamp keys; -1: no limit
  std::int64_t until = -1;
  bool failed_only = false;
};

bool Passes(const Operation& op, const Filter& filter);

void PrintRows(std::ostream& out, const std::vector<const Operation*>& ops);
void PrintDetails(std::ostream& out, const std::vector<const Operation*>& ops, const std::vector<Entry>& outside);
void PrintSummary(std::ostream& out, const std::vector<const Operation*>& ops, const Grouped& all,
                  std::size_t bad_lines);
void PrintJson(std::ostream& out, const std::vector<const Operation*>& ops);
void PrintBadLines(std::ostream& out, const std::vector<BadLine>& bad);

}  // namespace sd::logtool
