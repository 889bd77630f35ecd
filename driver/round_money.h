// RoundMoney: the rounding of the amounts that the driver hands to the host.
#pragma once

namespace sd::driver {

// Multiplies by 10 `places` times, adds 0.5000000001, truncates toward zero to a 64-bit integer and
// divides by 10 `places` times, all on extended precision, so that halves go up even where the stored
// double falls a hair short of the half (2.345 → 2.35, 1.005 → 1.01).
double RoundMoney(int places, long double x);

}  // namespace sd::driver
