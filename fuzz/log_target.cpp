// Fuzz target: the log reader. The input is a log file's bytes; they are read and grouped as
// smartdriver-log reads them. Whatever the bytes, every entry read ends up in exactly one operation or
// outside any, every operation has an outcome, and one whose result the log does not show is never
// given one.
#include <string>

#include "fuzz/targets.h"
#include "tools/log/grouping.h"
#include "tools/log/log_reader.h"

namespace sd::fuzz {

void FuzzLog(Input input) {
  using namespace sd::logtool;
  std::size_t entries = 0, placed = 0;
  Grouper grouper(
      [&](Operation&& op) {
        placed += op.steps.size();
        Check(op.outcome != Outcome::Done || op.has_success_line || op.kind == Kind::CardInfo,
              "an operation without its success line is done");
        Check(op.outcome != Outcome::Damaged || !op.damage.empty(), "damaged without saying what is missing");
      },
      [&](const Entry&) { ++placed; });
  LogReader reader(
      DateOrder::Unknown,
      [&](Entry&& e) {
        ++entries;
        grouper.Add(std::move(e));
      },
      [&](BadLine&& b) { grouper.Damaged(b); });
  reader.ReadBytes(AsText(input), "fuzz");
  grouper.Finish();
  Check(placed == entries, "read " + std::to_string(entries) + " entries, placed " + std::to_string(placed));
}

}  // namespace sd::fuzz
