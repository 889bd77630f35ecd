// The clock and the user's regional settings: the date as the host counts it, the short date and long
// time texts, and the decimal separator. Read without changing the process's locale. A test may replace
// the table to fix the time.
#pragma once

#include <string>

namespace sd::platform {

struct ClockOps {
  // Now in local time, as days since 30 December 1899 with the time of day as the fraction.
  double (*now_as_date)();
  // The current date in the user's short date format, e.g. 08.12.2026 or 12/08/26.
  std::string (*short_date_text)();
  // The current time in the user's long time format, e.g. 13:56:07.
  std::string (*long_time_text)();
  // The user's decimal separator.
  char (*decimal_separator)();
};

// Reads the user's regional settings now rather than at the first use. The library does it at start-up,
// so that they stay until its shutdown is over.
void PrepareClock();

const ClockOps& Clock();
const ClockOps& SystemClock();
const ClockOps* SetClock(const ClockOps* ops);

}  // namespace sd::platform
