// Reading the operation log into entries: time stamps, encodings, continuation lines, damage.
#include "tools/log/log_lines.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "smartdriver/cp1251.h"

namespace sd::logtool {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits "12.08.2026" into its numbers at one kind of separator; false when it is not such a text.
bool SplitNumbers(std::string_view text, char& separator, std::vector<int>& parts, std::vector<int>& widths) {
  separator = 0;
  int value = 0, width = 0;
  for (char c : text) {
    if (IsDigit(c)) {
      if (++width > 4) return false;
      value = value * 10 + (c - '0');
      continue;
    }
    if (width == 0 || (separator != 0 && c != separator) || (c != '.' && c != '/' && c != '-' && c != ':'))
      return false;
    separator = c;
    parts.push_back(value);
    widths.push_back(width);
    value = width = 0;
  }
  if (width == 0) return false;
  parts.push_back(value);
  widths.push_back(width);
  return true;
}

bool Valid(int year, int month, int day) { return year >= 0 && month >= 1 && month <= 12 && day >= 1 && day <= 31; }

// Bytes other than tabs below the blank are no part of any line the library writes.
bool HasControlBytes(std::string_view line) {
  return std::any_of(line.begin(), line.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 && c != '\t';
  });
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || (extra == 1 && b < 0xC2)) return false;
    for (int k = 1; k <= extra; ++k)
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// "date time - text": the date has no blank; the time may ("01:56:07 PM").
bool SplitStamp(std::string_view line, Stamp& stamp, std::string_view& text) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return false;
  const std::size_t dash = line.find(" - ", blank + 1);
  if (dash == std::string_view::npos) return false;
  const std::string_view date = line.substr(0, blank);
  const std::string_view time = line.substr(blank + 1, dash - blank - 1);
  const std::int64_t day = DateKey(date), second = TimeKey(time);
  if (day < 0 || second < 0) return false;
  stamp = {std::string(date), std::string(time), day * 1000000 + second};
  text = line.substr(dash + 3);
  return true;
}

// An entry whose text goes on in the next physical line: the blank line that opens an operation, and a
// socket error, whose text is its number, a line break and its description.
bool ContinuesOnNextLine(std::string_view text) {
  if (text == " ") return true;
  const std::size_t at = text.rfind("Socket Error # ");
  if (at == std::string_view::npos) return false;
  const std::string_view number = text.substr(at + 15);
  return !number.empty() && std::all_of(number.begin(), number.end(), IsDigit);
}

// A path's name in UTF-8 whatever the platform's own encoding of names, for output in UTF-8.
std::string Utf8Name(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + Utf8Name(path));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw std::runtime_error("cannot read " + Utf8Name(path));
  return bytes.str();
}

// The key of the first time-stamped line of a file, or the largest key when it has none.
std::int64_t FirstKey(std::string_view bytes) {
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    Stamp stamp;
    std::string_view text;
    if (SplitStamp(bytes.substr(start, end - start), stamp, text)) return stamp.key;
    start = end + 1;
  }
  return INT64_MAX;
}

}  // namespace

std::int64_t DateKey(std::string_view date) {
  char separator = 0;
  std::vector<int> n, width;
  if (!SplitNumbers(date, separator, n, width) || n.size() != 3 || separator == ':') return -1;
  int year, month, day;
  if (width[0] == 4) {
    year = n[0], month = n[1], day = n[2];
  } else if (separator == '/' && n[0] <= 12) {
    month = n[0], day = n[1], year = n[2];
  } else {
    day = n[0], month = n[1], year = n[2];
  }
  if (year < 100) year += 2000;
  if (!Valid(year, month, day)) return -1;
  return (year * 100LL + month) * 100 + day;
}

std::int64_t TimeKey(std::string_view time) {
  // A twelve-hour clock: 12 AM is midnight, 12 PM noon.
  const bool pm = time.ends_with(" PM"), am = time.ends_with(" AM");
  if (am || pm) time.remove_suffix(3);
  char separator = 0;
  std::vector<int> n, width;
  if (!SplitNumbers(time, separator, n, width) || separator != ':' || n.size() < 2 || n.size() > 3) return -1;
  int hour = n[0];
  if (hour > ((am || pm) ? 12 : 23) || n[1] > 59 || (n.size() == 3 && n[2] > 60)) return -1;
  if (am || pm) hour = hour % 12 + (pm ? 12 : 0);
  return (hour * 100LL + n[1]) * 100 + (n.size() == 3 ? n[2] : 0);
}

std::int64_t StampKey(std::string_view text, bool end_of_day) {
  const std::size_t blank = text.find(' ');
  const std::int64_t day = DateKey(text.substr(0, blank));
  if (day < 0) return -1;
  if (blank == std::string_view::npos) return day * 1000000 + (end_of_day ? 235959 : 0);
  const std::int64_t second = TimeKey(text.substr(blank + 1));
  return second < 0 ? -1 : day * 1000000 + second;
}

std::string TextToUtf8(std::string_view bytes) {
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || IsValidUtf8(bytes)) return std::string(bytes);
  return text::ToUtf8(bytes);
}

void ReadLog(std::string_view bytes, const std::string& source, LogText& into) {
  bool continues = false;  // the last entry's text goes on in the next line
  int number = 0;
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find('\n', start);
    const bool cut = end == std::string_view::npos;
    if (cut) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    Stamp stamp;
    std::string_view text;
    const std::size_t bad_before = into.bad.size();
    if (HasControlBytes(line)) {
      into.bad.push_back({source, number, "bytes that are no text", TextToUtf8(line)});
      continues = false;
    } else if (SplitStamp(line, stamp, text)) {
      into.entries.push_back({source, number, std::move(stamp), TextToUtf8(text)});
      continues = ContinuesOnNextLine(text);
    } else if (continues) {
      // The blank line's own continuation is empty; it adds nothing.
      if (!line.empty()) into.entries.back().text += "\r\n" + TextToUtf8(line);
      continues = false;
    } else if (!cut) {
      into.bad.push_back({source, number, line.empty() ? "empty line" : "no date, time and \" - \" at its start",
                          TextToUtf8(line)});
    }
    // The last line of a log cut short is used as far as it goes, and reported once.
    if (cut && into.bad.size() == bad_before)
      into.bad.push_back({source, number, "no line end: the log was cut here", TextToUtf8(line)});
  }
}

std::vector<LogFile> ReadLogFiles(const std::vector<std::filesystem::path>& paths) {
  std::vector<std::filesystem::path> files;
  for (const auto& path : paths) {
    if (!std::filesystem::is_directory(path)) {
      files.push_back(path);
      continue;
    }
    std::vector<std::filesystem::path> inside;
    for (const auto& item : std::filesystem::directory_iterator(path))
      if (item.is_regular_file() && Utf8Name(item.path().filename()).find(".log") != std::string::npos)
        inside.push_back(item.path());
    std::sort(inside.begin(), inside.end());
    files.insert(files.end(), inside.begin(), inside.end());
  }
  struct Keyed {
    LogFile file;
    std::int64_t key;
  };
  std::vector<Keyed> keyed;
  for (const auto& path : files) {
    std::string bytes = ReadWhole(path);
    const std::int64_t key = FirstKey(bytes);
    keyed.push_back({{Utf8Name(path), std::move(bytes)}, key});
  }
  // A rotated file is its current file's name with a date after it, and holds the earlier lines.
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.key != b.key) return a.key < b.key;
    return a.file.name.size() > b.file.name.size() && a.file.name.starts_with(b.file.name);
  });
  std::vector<LogFile> out;
  for (auto& k : keyed) out.push_back(std::move(k.file));
  return out;
}

}  // namespace sd::logtool
