// Reading the operation log into entries: time stamps, date orders, encodings, continuation lines, damage.
#include "tools/log/log_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <fstream>
#include <stdexcept>

#include "smartdriver/cp1251.h"

namespace sd::logtool {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Up to four numbers of a date or a time, split at one kind of separator.
struct Numbers {
  std::array<int, 4> value{};
  std::array<int, 4> width{};
  int count = 0;
  char separator = 0;
};

// False when the text is not numbers of at most four digits between separators of one kind.
bool SplitNumbers(std::string_view text, Numbers& n) {
  int value = 0, width = 0;
  for (char c : text) {
    if (IsDigit(c)) {
      if (++width > 4) return false;
      value = value * 10 + (c - '0');
      continue;
    }
    if (width == 0 || n.count == 3 || (n.separator != 0 && c != n.separator) ||
        (c != '.' && c != '/' && c != '-' && c != ':'))
      return false;
    n.separator = c;
    n.value[n.count] = value;
    n.width[n.count++] = width;
    value = width = 0;
  }
  if (width == 0) return false;
  n.value[n.count] = value;
  n.width[n.count++] = width;
  return true;
}

bool IsDate(const Numbers& n) { return n.count == 3 && n.separator != ':'; }

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

// The date of a line: its text up to the first blank.
std::string_view DateText(std::string_view line) { return line.substr(0, line.find(' ')); }

// "date time - text": the date has no blank; the time may ("01:56:07 PM").
bool SplitStamp(std::string_view line, DateOrder order, Stamp& stamp, std::string_view& text) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return false;
  const std::size_t dash = line.find(" - ", blank + 1);
  if (dash == std::string_view::npos) return false;
  const std::string_view date = line.substr(0, blank);
  const std::string_view time = line.substr(blank + 1, dash - blank - 1);
  const std::int64_t day = DateKey(date, order), second = TimeKey(time);
  if (day < 0 || second < 0) return false;
  stamp.date.assign(date);
  stamp.time.assign(time);
  stamp.key = day * 1000000 + second;
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

// Calls `line` with each physical line of a stream, without its "\n", and whether the stream ended
// inside it. A buffer of the stream at a time; a line longer than the buffer grows it.
template <typename OnLine>
void ForEachLine(std::istream& in, OnLine&& line) {
  std::string buffer(1 << 20, '\0');
  std::size_t held = 0;
  int number = 0;
  for (;;) {
    if (held == buffer.size()) buffer.resize(buffer.size() * 2);
    in.read(buffer.data() + held, static_cast<std::streamsize>(buffer.size() - held));
    const auto got = static_cast<std::size_t>(in.gcount());
    const std::size_t end = held + got;
    std::size_t start = 0;
    for (std::size_t nl; (nl = std::string_view(buffer.data(), end).find('\n', start)) != std::string_view::npos;
         start = nl + 1)
      if (!line(std::string_view(buffer.data() + start, nl - start), ++number, false)) return;
    held = end - start;
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(start), buffer.begin() + static_cast<std::ptrdiff_t>(end),
              buffer.begin());
    if (got == 0) break;
  }
  if (in.bad()) throw std::runtime_error("cannot read the log");
  if (held > 0) line(std::string_view(buffer.data(), held), ++number, true);
}

// The key of the first time-stamped line of a file, or the largest key when it has none.
std::int64_t FirstKey(const std::filesystem::path& path, DateOrder order) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + Utf8Name(path));
  std::int64_t key = INT64_MAX;
  ForEachLine(in, [&](std::string_view line, int, bool) {
    Stamp stamp;
    std::string_view text;
    if (SplitStamp(line, order, stamp, text)) key = stamp.key;
    return key == INT64_MAX;
  });
  return key;
}

}  // namespace

std::string Utf8Name(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

DateOrder DateOrderOf(std::string_view date) {
  Numbers n;
  if (!SplitNumbers(date, n) || !IsDate(n)) return DateOrder::Unknown;
  if (n.width[0] == 4) return DateOrder::Ymd;
  if (n.value[0] > 12 && n.value[1] <= 12) return DateOrder::Dmy;
  if (n.value[1] > 12 && n.value[0] <= 12) return DateOrder::Mdy;
  return DateOrder::Unknown;
}

DateOrder FindDateOrder(const std::vector<std::filesystem::path>& files) {
  DateOrder found = DateOrder::Unknown;
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;
    ForEachLine(in, [&](std::string_view line, int, bool) {
      found = DateOrderOf(DateText(line));
      return found == DateOrder::Unknown;
    });
    if (found != DateOrder::Unknown) break;
  }
  return found;
}

std::int64_t DateKey(std::string_view date, DateOrder order) {
  Numbers n;
  if (!SplitNumbers(date, n) || !IsDate(n)) return -1;
  if (order == DateOrder::Unknown)
    order = n.width[0] == 4 ? DateOrder::Ymd : n.separator == '/' && n.value[0] <= 12 ? DateOrder::Mdy : DateOrder::Dmy;
  int year = n.value[2], month = n.value[1], day = n.value[0];
  if (order == DateOrder::Mdy) month = n.value[0], day = n.value[1];
  if (order == DateOrder::Ymd) year = n.value[0], day = n.value[2];
  if (year < 100) year += 2000;
  if (month < 1 || month > 12 || day < 1 || day > 31) return -1;
  return (year * 100LL + month) * 100 + day;
}

std::int64_t TimeKey(std::string_view time) {
  // A twelve-hour clock: 12 AM is midnight, 12 PM noon.
  const bool pm = time.ends_with(" PM"), am = time.ends_with(" AM");
  if (am || pm) time.remove_suffix(3);
  Numbers n;
  if (!SplitNumbers(time, n) || n.separator != ':' || n.count < 2) return -1;
  int hour = n.value[0];
  const int second = n.count == 3 ? n.value[2] : 0;
  if (hour > ((am || pm) ? 12 : 23) || n.value[1] > 59 || second > 60) return -1;
  if (am || pm) hour = hour % 12 + (pm ? 12 : 0);
  return (hour * 100LL + n.value[1]) * 100 + second;
}

std::int64_t StampKey(std::string_view text, bool end_of_day, DateOrder order) {
  const std::size_t blank = text.find(' ');
  const std::int64_t day = DateKey(text.substr(0, blank), order);
  if (day < 0) return -1;
  if (blank == std::string_view::npos) return day * 1000000 + (end_of_day ? 235959 : 0);
  const std::int64_t second = TimeKey(text.substr(blank + 1));
  return second < 0 ? -1 : day * 1000000 + second;
}

std::string IsoTime(std::int64_t key) {
  if (key < 0) return "";
  std::string text = "0000-00-00T00:00:00";
  // The key's fourteen digits, from the last one back, into their places.
  static constexpr int kPlaces[] = {18, 17, 15, 14, 12, 11, 9, 8, 6, 5, 3, 2, 1, 0};
  for (const int place : kPlaces) {
    text[static_cast<std::size_t>(place)] = static_cast<char>('0' + key % 10);
    key /= 10;
  }
  return text;
}

std::string TextToUtf8(std::string_view bytes) {
  const auto high = std::find_if(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  const auto plain = static_cast<std::size_t>(high - bytes.begin());
  if (high == bytes.end() || IsValidUtf8(bytes.substr(plain))) return std::string(bytes);
  // The upper half of the code page, each byte's UTF-8 once.
  static const std::array<std::string, 128> kUpper = [] {
    std::array<std::string, 128> upper;
    for (int b = 0x80; b < 0x100; ++b) upper[static_cast<std::size_t>(b - 0x80)] = text::ToUtf8(std::string(1, static_cast<char>(b)));
    return upper;
  }();
  std::string out;
  out.reserve(bytes.size() * 2);
  out.append(bytes.substr(0, plain));
  for (const char c : bytes.substr(plain)) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80)
      out += c;
    else
      out += kUpper[b - 0x80];
  }
  return out;
}

LogReader::LogReader(DateOrder order, OnEntry on_entry, OnBad on_bad)
    : order_(order), on_entry_(std::move(on_entry)), on_bad_(std::move(on_bad)) {}

void LogReader::Flush() {
  if (has_pending_) on_entry_(std::move(pending_));
  has_pending_ = continues_ = false;
}

void LogReader::Line(std::string_view line, const std::string& source, int number, bool cut) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  std::string_view text;
  bool reported = false;
  if (HasControlBytes(line)) {
    Flush();
    on_bad_({source, number, "bytes that are no text", TextToUtf8(line)});
    reported = true;
  } else if (Stamp stamp; SplitStamp(line, order_, stamp, text)) {
    Flush();
    pending_ = {source, number, std::move(stamp), TextToUtf8(text)};
    has_pending_ = true;
    continues_ = ContinuesOnNextLine(text);
  } else if (continues_) {
    // The blank line's own continuation is empty; it adds nothing.
    if (!line.empty()) pending_.text += "\r\n" + TextToUtf8(line);
    continues_ = false;
  } else if (!cut) {
    Flush();
    on_bad_({source, number, line.empty() ? "empty line" : "no date, time and \" - \" at its start", TextToUtf8(line)});
  }
  // The last line of a log cut short is used as far as it goes, and reported once.
  if (cut && !reported) on_bad_({source, number, "no line end: the log was cut here", TextToUtf8(line)});
}

void LogReader::Read(std::istream& in, const std::string& source) {
  ForEachLine(in, [&](std::string_view line, int number, bool cut) {
    Line(line, source, number, cut);
    return true;
  });
  Flush();
}

void LogReader::ReadBytes(std::string_view bytes, const std::string& source) {
  int number = 0;
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find('\n', start);
    const bool cut = end == std::string_view::npos;
    if (cut) end = bytes.size();
    Line(bytes.substr(start, end - start), source, ++number, cut);
    start = end + 1;
  }
  Flush();
}

void ReadLog(std::string_view bytes, const std::string& source, LogText& into, DateOrder order) {
  LogReader reader(
      order, [&](Entry&& e) { into.entries.push_back(std::move(e)); },
      [&](BadLine&& b) { into.bad.push_back(std::move(b)); });
  reader.ReadBytes(bytes, source);
}

std::vector<std::filesystem::path> OrderLogFiles(const std::vector<std::filesystem::path>& paths, DateOrder order) {
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
  // Files begun in the same second go in the order of their names: the rotated ones (the log's name, a
  // date, and from the second rotation of a day on ".1", ".2", ...) before the current file.
  struct Keyed {
    std::int64_t key;
    long rotation;
    std::filesystem::path path;
  };
  std::vector<Keyed> keyed;
  for (const auto& path : files) {
    const std::string name = Utf8Name(path.filename());
    const std::string_view rest = std::string_view(name).substr(std::min(name.size(), name.find(".log") + 4));
    const std::size_t dot = rest.rfind('.');
    long rotation = 0;
    if (rest.empty()) {
      rotation = LONG_MAX;
    } else if (dot != std::string_view::npos && DateKey(rest.substr(0, dot)) >= 0 && rest.size() - dot < 9 &&
               std::all_of(rest.begin() + static_cast<std::ptrdiff_t>(dot) + 1, rest.end(), IsDigit)) {
      rotation = std::stol(std::string(rest.substr(dot + 1)));
    }
    keyed.push_back({FirstKey(path, order), rotation, path});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return a.key != b.key ? a.key < b.key : a.rotation < b.rotation;
  });
  files.clear();
  for (auto& k : keyed) files.push_back(std::move(k.path));
  return files;
}

}  // namespace sd::logtool
