// RoundMoney on the extended type.
#include "driver/round_money.h"

#include <cstdint>

namespace sd::driver {

double RoundMoney(int places, long double x) {
  for (int i = 0; i < places; ++i) x *= 10;
  x += 0.5000000001L;
  // Beyond the 64-bit range there is nothing left to round, and the conversion would be undefined.
  if (!(x > -9.2e18L && x < 9.2e18L)) {
    for (int i = 0; i < places; ++i) x /= 10;
    return static_cast<double>(x);
  }
  long double whole = static_cast<long double>(static_cast<std::int64_t>(x));
  for (int i = 0; i < places; ++i) whole /= 10;
  return static_cast<double>(whole);
}

}  // namespace sd::driver
