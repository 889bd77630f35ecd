// smartdriver-log: the driver's operation log made readable, one operation a row.
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/process.h"
#include "tools/log/log_lines.h"
#include "tools/log/operations.h"
#include "tools/log/report.h"

namespace {

constexpr const char* kUsage =
    "Usage: smartdriver-log [options] [FILE|DIRECTORY|-]...\n"
    "Reads the driver's operation log (Windows-1251, shown in UTF-8) and prints one row per operation:\n"
    "its time, kind, wallet, card, amounts, outcome and the operator message of a failure. A directory\n"
    "stands for every log file in it, rotated ones included; files are read in the order they were\n"
    "written; '-' or no file reads standard input.\n"
    "\n"
    "Options:\n"
    "  --details         every line of each operation, with its frames decoded into fields\n"
    "  --summary         counts by kind and by outcome, and the failures grouped by message\n"
    "  --json            one JSON object per operation, one a line\n"
    "  --card DIGITS     only operations of this card (leading zeros do not count)\n"
    "  --wallet N        only operations for this wallet\n"
    "  --since WHEN      only operations from WHEN on; WHEN is a date, or a date and a time, written\n"
    "  --until WHEN      as the log writes them (08.12.2026 or 12/08/26, then 13:56:07)\n"
    "  --failed          only operations that did not end well\n"
    "  --help            this text\n"
    "\n"
    "Outcomes: done, refused (by the server), time-out, comm-failure, checksum-failure, unfinished (the\n"
    "log does not show the end). Lines that an exchange wrote after a later operation had begun stay with\n"
    "their own operation, marked late. Damaged lines are reported on standard error and skipped.\n"
    "Exit status: 0 the log was read; 2 bad arguments or a file that cannot be read.\n";

int Usage(const std::string& problem) {
  std::cerr << "smartdriver-log: " << problem << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv_as_given) {
  using namespace sd::logtool;
  // The words in UTF-8 whatever the system's code page, so that a path's letters stay as they are.
  std::vector<std::string> words = sd::platform::ProgramArguments(argc, argv_as_given);
  std::vector<char*> utf8;
  for (std::string& word : words) utf8.push_back(word.data());
  utf8.push_back(nullptr);
  argc = static_cast<int>(words.size());
  char** argv = utf8.data();
  enum class Mode { Rows, Details, Summary, Json } mode = Mode::Rows;
  Filter filter;
  std::vector<std::filesystem::path> paths;
  bool from_stdin = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--details") {
      mode = Mode::Details;
    } else if (arg == "--summary") {
      mode = Mode::Summary;
    } else if (arg == "--json") {
      mode = Mode::Json;
    } else if (arg == "--failed") {
      filter.failed_only = true;
    } else if (arg == "--card") {
      filter.card = value();
      if (filter.card.empty() || filter.card.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
        return Usage("--card wants the card's digits");
    } else if (arg == "--wallet") {
      const std::string v = value();
      if (v.empty() || v.size() > 3 || v.find_first_not_of("0123456789") != std::string::npos || std::stoi(v) > 255)
        return Usage("--wallet wants a number from 0 to 255");
      filter.wallet = std::stoi(v);
    } else if (arg == "--since" || arg == "--until") {
      const std::string v = value();
      const std::int64_t key = StampKey(v, arg == "--until");
      if (key < 0) return Usage(arg + " wants a date, or a date and a time, as the log writes them: \"" + v + "\"");
      (arg == "--since" ? filter.since : filter.until) = key;
    } else if (arg == "-") {
      from_stdin = true;
    } else if (arg.starts_with("--")) {
      return Usage("unknown option " + arg);
    } else {
      paths.emplace_back(std::u8string(arg.begin(), arg.end()));
    }
  }

  LogText log;
  try {
    for (const LogFile& file : ReadLogFiles(paths)) ReadLog(file.bytes, file.name, log);
  } catch (const std::exception& e) {
    std::cerr << "smartdriver-log: " << e.what() << "\n";
    return 2;
  }
  if (from_stdin || paths.empty()) {
    const std::string bytes{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    ReadLog(bytes, "-", log);
  }

  const Grouped grouped = GroupOperations(log.entries);
  std::vector<const Operation*> shown;
  for (const Operation& op : grouped.operations)
    if (Passes(op, filter)) shown.push_back(&op);
  switch (mode) {
    case Mode::Rows: PrintRows(std::cout, shown); break;
    case Mode::Details: PrintDetails(std::cout, shown, grouped.outside); break;
    case Mode::Summary: PrintSummary(std::cout, shown, grouped, log.bad.size()); break;
    case Mode::Json: PrintJson(std::cout, shown); break;
  }
  std::cout.flush();
  PrintBadLines(std::cerr, log.bad);
  return 0;
}
