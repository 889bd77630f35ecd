// Windows clock and regional settings: local time, and the short date, long time and decimal separator
// of the user's locale, as the system formats them.
#include "platform/clock.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/win32/text_win32.h"

namespace sd::platform {
namespace {

// Days from 1 January 1601 (where FILETIME counts from) to 30 December 1899.
constexpr double kDaysFrom1601To1899 = 109205.0;
constexpr double kFileTimeUnitsPerDay = 864000000000.0;

double NowAsDate() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  FILETIME as_file_time{};
  ::SystemTimeToFileTime(&local, &as_file_time);
  const ULONGLONG units = (static_cast<ULONGLONG>(as_file_time.dwHighDateTime) << 32) | as_file_time.dwLowDateTime;
  return static_cast<double>(units) / kFileTimeUnitsPerDay - kDaysFrom1601To1899;
}

std::string Narrowed(const wchar_t* buffer, int length) {
  return length > 0 ? win32::Narrow(std::wstring_view(buffer, static_cast<std::size_t>(length - 1))) : std::string();
}

// The date and time texts of one second. The log asks for them on every line, many lines a second, and
// they change only with the second: made once for it, they are copied out until the next one.
struct SecondTexts {
  ULONGLONG second = ~0ULL;
  std::string date;
  std::string time;
};

std::string TextOfNow(std::string SecondTexts::*text) {
  // Never destroyed, so that a line written while the program ends still finds them.
  static std::mutex* const lock = new std::mutex;
  static SecondTexts* const texts = new SecondTexts;
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const ULONGLONG second = ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000000;
  std::lock_guard<std::mutex> hold(*lock);
  if (texts->second != second) {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    wchar_t buffer[128];
    texts->date = Narrowed(buffer, ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, buffer, 128));
    texts->time = Narrowed(buffer, ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, buffer, 128));
    texts->second = second;
  }
  return texts->*text;
}

std::string ShortDateText() { return TextOfNow(&SecondTexts::date); }
std::string LongTimeText() { return TextOfNow(&SecondTexts::time); }

char DecimalSeparator() {
  wchar_t buffer[8];
  const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8);
  return length > 1 && buffer[0] < 0x80 ? static_cast<char>(buffer[0]) : '.';
}

}  // namespace

// The system keeps the user's settings itself; nothing is held by the library.
void PrepareClock() {}

SD_DEFINE_CALL_TABLE(ClockOps, SD_CLOCK_CALLS)

}  // namespace sd::platform
