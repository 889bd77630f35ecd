// Reading the operation log as a stream: physical lines split into time-stamped entries with their text
// in UTF-8, the continuation lines that some entries carry, damaged lines, the log's date order, and the
// order of a folder's files. Nothing here holds more than a line or two of the log at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace sd::logtool {

// The order of day, month and year in the log's dates; the log follows the till's locale.
enum class DateOrder { Unknown, Dmy, Mdy, Ymd };

// The date and time as the log wrote them, and a key that orders them: yyyymmddhhmmss, or -1 when the
// text is in no form this tool understands.
struct Stamp {
  std::string date;
  std::string time;
  std::int64_t key = -1;
};

struct Entry {
  std::string source;  // the file as named, or "-" for standard input
  int line = 0;        // first physical line, from 1
  Stamp stamp;
  std::string text;    // UTF-8; an entry that spans lines keeps its "\r\n"
};

struct BadLine {
  std::string source;
  int line = 0;
  std::string reason;
  std::string text;  // UTF-8, as far as it could be read
};

// yyyymmdd of a date in the given order (day.month.year, month/day/year, year-month-day; two-digit years
// are of this century), or -1. Unknown guesses from the date alone: year first when it has four digits,
// month first after a slash when it can be a month, otherwise day first.
std::int64_t DateKey(std::string_view date, DateOrder order = DateOrder::Unknown);

// What one date says of the order: Dmy when its first number cannot be a month, Mdy when its second
// cannot, Ymd when it begins with four digits; Unknown when it could be either.
DateOrder DateOrderOf(std::string_view date);

// The order that the dates at the start of the given files' lines show, Unknown when none shows one.
// Reading stops at the first date that settles it.
DateOrder FindDateOrder(const std::vector<std::filesystem::path>& files);

// hhmmss of a time of the form h:mm[:ss] with an optional AM/PM, or -1.
std::int64_t TimeKey(std::string_view time);

// The key of a date with an optional time, as a user gives it to --since or --until; a date alone
// stands for the start of its day, or for its end when end_of_day is set. -1 when not understood.
std::int64_t StampKey(std::string_view text, bool end_of_day, DateOrder order = DateOrder::Unknown);

// "2026-12-08T17:46:39" of a key, or "" for -1.
std::string IsoTime(std::int64_t key);

// Windows-1251 text becomes UTF-8; text that already is valid UTF-8 stays as it is.
std::string TextToUtf8(std::string_view bytes);

// Splits a log into entries and damaged lines, handing each on as soon as it is whole. Never fails on
// the log's content: what cannot be read becomes a bad line, and reading goes on.
class LogReader {
 public:
  using OnEntry = std::function<void(Entry&&)>;
  using OnBad = std::function<void(BadLine&&)>;
  LogReader(DateOrder order, OnEntry on_entry, OnBad on_bad);

  // Reads one file or stream to its end, a buffer at a time.
  void Read(std::istream& in, const std::string& source);
  // Reads a log held in memory.
  void ReadBytes(std::string_view bytes, const std::string& source);

 private:
  void Line(std::string_view line, const std::string& source, int number, bool cut);
  void Flush();

  DateOrder order_;
  OnEntry on_entry_;
  OnBad on_bad_;
  Entry pending_;
  bool has_pending_ = false;
  bool continues_ = false;  // the pending entry's text goes on in the next line
};

// All of a log in memory, for small logs and the tests.
struct LogText {
  std::vector<Entry> entries;
  std::vector<BadLine> bad;
};
void ReadLog(std::string_view bytes, const std::string& source, LogText& into, DateOrder order = DateOrder::Unknown);

// The named files, a directory standing for every log file in it (rotated ones included), in the order
// they were written: by the first time stamp in each, a rotated file before the file of its own name.
// A file that cannot be read raises std::runtime_error.
std::vector<std::filesystem::path> OrderLogFiles(const std::vector<std::filesystem::path>& paths,
                                                 DateOrder order = DateOrder::Unknown);

// A path's name in UTF-8 whatever the platform's own encoding of names.
std::string Utf8Name(const std::filesystem::path& path);

}  // namespace sd::logtool
