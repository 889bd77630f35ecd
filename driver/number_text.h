// Numbers in the texts of the operation log and in the texts a host passes: doubles in the general
// format, and whole numbers read by the runtime's rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sd::driver {

// The general format with up to 15 significant digits, no trailing zeros and the user's decimal
// separator: fixed notation while the value has at most 15 digits before the point and is not below
// 0.00001, scientific ("1,5E-7", "1E20") otherwise.
std::string FloatText(double value);
std::string FloatText(double value, char decimal_separator);

// A signed 64-bit whole number: an optional sign, then decimal digits, or hexadecimal digits after "$"
// or "0x". Anything else raises sd::EConvertError with the runtime's wording.
std::int64_t StrToInt64(std::string_view text);

}  // namespace sd::driver
