// The clock and the user's regional settings: the date as the host counts it, the short date and long
// time texts, and the decimal separator. Read without changing the process's locale. A test may replace
// the table to fix the time.
#pragma once

#include <string>

#include "platform/call_table.h"

namespace sd::platform {

// The calls, one row each: XX(result, name, the system function's name, (parameters)).
#define SD_CLOCK_CALLS(XX)                                                                                     \
  /* Now in local time, as days since 30 December 1899 with the time of day as the fraction. */                \
  XX(double, now_as_date, NowAsDate, ())                                                                       \
  /* The current date in the user's short date format, e.g. 08.12.2026 or 12/08/26. */                         \
  XX(std::string, short_date_text, ShortDateText, ())                                                          \
  /* The current time in the user's long time format, e.g. 13:56:07. */                                        \
  XX(std::string, long_time_text, LongTimeText, ())                                                            \
  /* The user's decimal separator. */                                                                          \
  XX(char, decimal_separator, DecimalSeparator, ())

struct ClockOps {
  SD_CLOCK_CALLS(SD_CALL_FIELD)
};

// Reads the user's regional settings now rather than at the first use. The library does it at start-up,
// so that they stay until its shutdown is over.
void PrepareClock();

// The operations in force (Clock()), the system's own ones (SystemClock()), and SetClock().
SD_CALL_TABLE_FUNCTIONS(ClockOps, Clock)

}  // namespace sd::platform
