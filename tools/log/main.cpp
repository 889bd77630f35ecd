// smartdriver-log: the driver's operation log made readable, one operation a row.
#include <fstream>
#include <memory>
#include <optional>
#include <iostream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "tools/log/grouping.h"
#include "tools/log/log_reader.h"
#include "tools/log/report.h"

namespace {

constexpr const char* kUsage =
    "Usage: smartdriver-log [options] [FILE|DIRECTORY|-]...\n"
    "Reads the driver's operation log (Windows-1251, shown in UTF-8) and prints one row per operation:\n"
    "its time, kind, wallet, card, amounts, outcome and the operator message of a failure. A directory\n"
    "stands for every log file in it, rotated ones included; files are read in the order they were\n"
    "written; '-' or no file reads standard input. The log is read as a stream, in a memory that does not\n"
    "grow with its size.\n"
    "\n"
    "Options:\n"
    "  --details         every line of each operation, with its frames decoded into fields\n"
    "  --summary         counts by kind and by outcome, and the failures grouped by message\n"
    "  --json            one JSON object per operation, one a line\n"
    "  --card DIGITS     only operations of this card (leading zeros do not count)\n"
    "  --wallet N        only operations for this wallet\n"
    "  --since WHEN      only operations from WHEN on; WHEN is a date, or a date and a time, written\n"
    "  --until WHEN      as the log writes them (08.12.2026 or 12/08/26, then 13:56:07)\n"
    "  --at HH:MM[:SS]   only operations under way within a minute of that moment, on any day\n"
    "  --message TEXT    only operations whose operator message contains TEXT\n"
    "  --failed          only operations that did not end well\n"
    "  --date-order dmy|mdy|ymd\n"
    "                    how to read the log's dates when the log itself does not show it (a day\n"
    "                    above 12 shows it); without it, dates with '/' are read month first\n"
    "  --help            this text\n"
    "\n"
    "Outcomes: done, refused (by the server), time-out, comm-failure, checksum-failure, failed (another\n"
    "message), damaged (a line is damaged or missing, and the log does not show how it ended), unfinished\n"
    "(the log ends before the operation does). Lines that an exchange wrote after its operation had ended\n"
    "stay with their own operation, marked late. Damaged lines are reported on standard error.\n"
    "Exit status: 0 the log was read; 2 bad arguments or a file that cannot be read.\n";

int Usage(const std::string& problem) {
  std::cerr << "smartdriver-log: " << problem << "\n" << kUsage;
  return 2;
}

std::optional<sd::logtool::DateOrder> ParseOrder(const std::string& text) {
  using sd::logtool::DateOrder;
  if (text == "dmy") return DateOrder::Dmy;
  if (text == "mdy") return DateOrder::Mdy;
  if (text == "ymd") return DateOrder::Ymd;
  return std::nullopt;
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
  Mode mode = Mode::Rows;
  Filter filter;
  std::vector<std::filesystem::path> paths;
  std::vector<std::pair<std::string, std::string>> stamps;  // --since and --until, read once the order is known
  std::optional<DateOrder> order;
  bool from_stdin = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--details" || arg == "--summary" || arg == "--json") {
      mode = arg == "--details" ? Mode::Details : arg == "--summary" ? Mode::Summary : Mode::Json;
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
      stamps.emplace_back(arg, value());
    } else if (arg == "--at") {
      const std::string v = value();
      filter.at = v.find_first_not_of("0123456789:") == std::string::npos ? TimeKey(v) : -1;
      if (filter.at < 0) return Usage("--at wants a time of day, HH:MM or HH:MM:SS: \"" + v + "\"");
    } else if (arg == "--message") {
      filter.message = value();
      if (filter.message.empty()) return Usage("--message wants the text to look for");
    } else if (arg == "--date-order") {
      const std::string v = value();
      order = ParseOrder(v);
      if (!order) return Usage("--date-order wants dmy, mdy or ymd: \"" + v + "\"");
    } else if (arg == "-") {
      from_stdin = true;
    } else if (arg.starts_with("--")) {
      return Usage("unknown option " + arg);
    } else {
      paths.emplace_back(std::u8string(arg.begin(), arg.end()));
    }
  }

  std::vector<std::filesystem::path> files;
  try {
    files = OrderLogFiles(paths);
    // The log's own dates settle their order where they can; the option only where they cannot.
    if (const DateOrder found = FindDateOrder(files); found != DateOrder::Unknown) order = found;
    if (order) files = OrderLogFiles(paths, *order);
  } catch (const std::exception& e) {
    std::cerr << "smartdriver-log: " << e.what() << "\n";
    return 2;
  }
  const DateOrder dates = order.value_or(DateOrder::Unknown);
  for (const auto& [name, text] : stamps) {
    const std::int64_t key = StampKey(text, name == "--until", dates);
    if (key < 0) return Usage(name + " wants a date, or a date and a time, as the log writes them: \"" + text + "\"");
    (name == "--since" ? filter.since : filter.until) = key;
  }

  // The output is large for a large log; the C streams need not see it in step.
  std::ios::sync_with_stdio(false);
  const std::unique_ptr<Printer> printer = MakePrinter(mode, std::cout);
  Grouper grouper([&](Operation&& op) { if (Passes(op, filter)) printer->Print(op); },
                  [&](const Entry& e) { printer->Outside(e); });
  std::size_t bad_lines = 0;
  LogReader reader(
      dates, [&](Entry&& e) { grouper.Add(std::move(e)); },
      [&](BadLine&& b) {
        ++bad_lines;
        grouper.Damaged(b);
        PrintBadLine(std::cerr, b);
      });
  try {
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      if (!in) throw std::runtime_error("cannot open " + Utf8Name(file));
      reader.Read(in, Utf8Name(file));
    }
    if (from_stdin || paths.empty()) reader.Read(std::cin, "-");
  } catch (const std::exception& e) {
    std::cerr << "smartdriver-log: " << e.what() << "\n";
    return 2;
  }
  grouper.Finish();
  printer->Finish(bad_lines);
  std::cout.flush();
  return 0;
}
