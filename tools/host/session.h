// Running smartdriver-host's commands against one loaded driver object: one entry call per command, its
// record printed, a raised message printed as "error: ...", and a run file of such commands in one load.
#pragma once

#include <istream>
#include <ostream>

#include "smartdriver/entries.h"
#include "tools/host/command_line.h"

namespace sd::host {

class Session {
 public:
  Session(TSmartDriver* driver, std::ostream& out) : driver_(driver), out_(out) {}

  // Calls the command's entry with a record that starts all zero and prints the record. When the entry
  // raises, prints "error: " and its message in UTF-8 after the record (the record only if the entry wrote
  // anything into it) and returns false.
  bool Run(const Command& command);

  // Runs every line of `in`: blank lines and lines starting with '#' are skipped; each other line is
  // echoed after "> ", read as a command and run. A line that cannot be read prints
  // "error: line N: ..." and counts as a failure. After a failure the remaining lines still run unless
  // stop_on_error. Returns the number of failed lines.
  int RunLines(std::istream& in, bool stop_on_error);

 private:
  TSmartDriver* driver_;
  std::ostream& out_;
};

}  // namespace sd::host
