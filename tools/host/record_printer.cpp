// Printing the driver's records for a person to read.
#include "tools/host/record_printer.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "smartdriver/cp1251.h"

namespace sd::host {
namespace {

// Shows one field a line; a method for each kind of field in the records' lists, under the kind's name.
class FieldWriter {
 public:
  FieldWriter(std::ostream& out, const char* record) : out_(out), record_(record) {}
  void Line(const char* field, const std::string& value) {
    out_ << record_ << '.' << field << " = " << value << '\n';
  }
  void Byte(const char* field, std::uint8_t value) { Line(field, std::to_string(value)); }
  void Char(const char* field, char value) { Line(field, DisplayText(std::string_view(&value, 1))); }
  void Double(const char* field, double value) { Line(field, FormatDouble(value)); }
  void Date(const char* field, double value) { Line(field, FormatDouble(value) + " (" + FormatDate(value) + ")"); }
  template <std::size_t N>
  void Text(const char* field, const ShortString<N>& value) {
    std::string shown = DisplayText(value.view());
    // A length byte beyond the capacity is a fault in whoever wrote the record; show it, do not hide it.
    if (value.length > N) shown += " (length byte " + std::to_string(value.length) + " exceeds " + std::to_string(N) + ")";
    Line(field, shown);
  }
  template <std::size_t N>
  void Bytes(const char* field, const std::uint8_t (&value)[N]) {
    std::string hex;
    for (std::uint8_t b : value) {
      char two[4];
      std::snprintf(two, sizeof two, "%02X", b);
      hex += hex.empty() ? "" : " ";
      hex += two;
    }
    Line(field, hex);
  }
  // The driver never writes these bytes: nothing in them is the driver's to show.
  template <std::size_t N>
  void Unused(const char*, const std::uint8_t (&)[N]) {}
  void Spare(const char*, std::uint8_t) {}

 private:
  std::ostream& out_;
  const char* record_;
};

}  // namespace

std::string FormatDouble(double value) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

std::string DisplayText(std::string_view cp1251) {
  std::string safe;
  for (unsigned char ch : cp1251) {
    if (ch < 0x20 || ch == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", ch);
      safe += esc;
    } else if (ch == '\\') {
      safe += "\\\\";
    } else {
      safe += static_cast<char>(ch);
    }
  }
  return text::ToUtf8(safe);
}

std::string FormatDate(double days) {
  // Beyond a few thousand years the arithmetic below would leave the calendar's range.
  if (!std::isfinite(days) || days < -600000 || days > 3000000) return "?";
  using namespace std::chrono;
  const double whole = std::floor(days);
  long long seconds = std::llround((days - whole) * 86400.0);
  long long day_count = static_cast<long long>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day_count;
  }
  const year_month_day date{sys_days{year{1899} / December / 30} + std::chrono::days{day_count}};
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), seconds / 3600,
                seconds / 60 % 60, seconds % 60);
  return buf;
}

void PrintVersion(const VersionText& version, std::ostream& out) {
  FieldWriter w(out, "Version");
  w.Text("Text", version);
}

// Every field of a record in the order of its bytes, each shown as its kind is.
#define SD_PRINT_FIELD(r, name, offset, kind, count) w.kind(#name, r.name);
#define SD_PRINT_RECORD(record, FIELDS, size)                \
  void Print##record(const record& r, std::ostream& out) {  \
    FieldWriter w(out, #record);                             \
    FIELDS(SD_PRINT_FIELD, r)                                \
  }
SD_RECORDS(SD_PRINT_RECORD)
#undef SD_PRINT_RECORD
#undef SD_PRINT_FIELD

}  // namespace sd::host
