// POSIX clock and regional settings: the user's locale is read with newlocale("") and used through the
// *_l functions, so the process's own locale is never changed.
#include "platform/clock.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "smartdriver/cp1251.h"

namespace sd::platform {
namespace {

// The user's locale, read once and freed when the program or the library lets go of it.
struct UserLocaleHolder {
  locale_t loc;
  UserLocaleHolder() {
    loc = ::newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) loc = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  }
  ~UserLocaleHolder() {
    if (loc != static_cast<locale_t>(nullptr)) ::freelocale(loc);
  }
  UserLocaleHolder(const UserLocaleHolder&) = delete;
  UserLocaleHolder& operator=(const UserLocaleHolder&) = delete;
};

locale_t UserLocale() {
  static UserLocaleHolder holder;
  return holder.loc;
}

struct tm LocalNow(long* nanos = nullptr) {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t {};
  ::localtime_r(&ts.tv_sec, &t);
  if (nanos != nullptr) *nanos = ts.tv_nsec;
  return t;
}

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

constexpr long long kDaysFrom1899To1970 = 25569;

double NowAsDate() {
  long nanos = 0;
  const struct tm t = LocalNow(&nanos);
  const long long days = DaysFromCivil(t.tm_year + 1900LL, static_cast<unsigned>(t.tm_mon + 1),
                                       static_cast<unsigned>(t.tm_mday)) + kDaysFrom1899To1970;
  const double seconds = t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec + nanos / 1e9;
  return static_cast<double>(days) + seconds / 86400.0;
}

std::string Format(nl_item item, const struct tm& t) {
  const locale_t loc = UserLocale();
  const char* format = ::nl_langinfo_l(item, loc);
  char buf[128];
  const std::size_t n = ::strftime_l(buf, sizeof buf, format, &t, loc);
  std::string text(buf, n);
  // The driver's texts are single-byte; a locale that spells its dates in UTF-8 is converted.
  if (std::strcmp(::nl_langinfo_l(CODESET, loc), "UTF-8") == 0) text = text::FromUtf8(text);
  return text;
}

// The date and time texts of one second. The log asks for them on every line, many lines a second, and
// they change only with the second: made once for it, they are copied out until the next one. They live
// in fixed buffers of the module's own data, so that a line written while the program ends still finds
// them and nothing is left on the heap when the library is unloaded.
struct SecondTexts {
  time_t second;
  std::size_t date_length;
  std::size_t time_length;
  char date[128];
  char time[128];
};
std::mutex g_second_lock;
SecondTexts g_second_texts{-1, 0, 0, {}, {}};

void Keep(const std::string& text, char* buffer, std::size_t* length) {
  *length = std::min(text.size(), sizeof SecondTexts::date);
  std::memcpy(buffer, text.data(), *length);
}

std::string TextOfNow(bool date) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::lock_guard<std::mutex> hold(g_second_lock);
  SecondTexts& texts = g_second_texts;
  if (texts.second != now.tv_sec) {
    struct tm t {};
    ::localtime_r(&now.tv_sec, &t);
    Keep(Format(D_FMT, t), texts.date, &texts.date_length);
    Keep(Format(T_FMT, t), texts.time, &texts.time_length);
    texts.second = now.tv_sec;
  }
  return date ? std::string(texts.date, texts.date_length) : std::string(texts.time, texts.time_length);
}

std::string ShortDateText() { return TextOfNow(true); }
std::string LongTimeText() { return TextOfNow(false); }

char DecimalSeparator() {
  const char* radix = ::nl_langinfo_l(RADIXCHAR, UserLocale());
  return (radix != nullptr && radix[0] != '\0' && static_cast<unsigned char>(radix[0]) < 0x80) ? radix[0] : '.';
}

}  // namespace

void PrepareClock() { UserLocale(); }

SD_DEFINE_CALL_TABLE(ClockOps, SD_CLOCK_CALLS)

}  // namespace sd::platform
