// Reading the operation log: physical lines split into time-stamped entries with their text in UTF-8,
// the continuation lines that some entries carry, damaged lines, and the order of a log's files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sd::logtool {

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

struct LogText {
  std::vector<Entry> entries;
  std::vector<BadLine> bad;
};

// yyyymmdd of a date in the forms the library writes (day.month.year, month/day/year, year-month-day;
// two-digit years are of this century), or -1.
std::int64_t DateKey(std::string_view date);

// hhmmss of a time of the form h:mm[:ss] with an optional AM/PM, or -1.
std::int64_t TimeKey(std::string_view time);

// The key of a date with an optional time, as a user gives it to --since or --until; a date alone
// stands for the start of its day, or for its end when end_of_day is set. -1 when not understood.
std::int64_t StampKey(std::string_view text, bool end_of_day);

// Windows-1251 text becomes UTF-8; text that already is valid UTF-8 stays as it is.
std::string TextToUtf8(std::string_view bytes);

// Appends the entries and damaged lines of one log file's bytes. Never fails: what cannot be read
// becomes a bad line, and reading goes on.
void ReadLog(std::string_view bytes, const std::string& source, LogText& into);

struct LogFile {
  std::string name;
  std::string bytes;
};

// Reads the named files, a directory standing for every log file in it (rotated ones included), and
// puts them in the order they were written: by the first time stamp in each, a rotated file before
// the file of its own name. A file that cannot be read raises std::runtime_error.
std::vector<LogFile> ReadLogFiles(const std::vector<std::filesystem::path>& paths);

}  // namespace sd::logtool
