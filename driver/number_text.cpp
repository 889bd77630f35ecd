// FloatText and StrToInt64.
#include "driver/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "smartdriver/errors.h"

namespace sd::driver {

std::string FloatText(double value) { return FloatText(value, platform::Clock().decimal_separator()); }

std::string FloatText(double value, char decimal_separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";

  // 15 significant digits, and the decimal exponent of the first of them. The conversion gives what
  // printf's "%.14e" gives, digit for digit and correctly rounded alike, at a fraction of its cost: a
  // logged operation formats several amounts while the cashier waits.
  char buf[64];
  const auto converted = std::to_chars(buf, buf + sizeof buf - 1, std::fabs(value), std::chars_format::scientific, 14);
  *converted.ptr = '\0';
  std::string digits;
  for (const char* p = buf; *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent >= 15 || std::fabs(value) < 0.00001) {
    out += digits[0];
    if (digits.size() > 1) {
      out += decimal_separator;
      out.append(digits, 1);
    }
    out += 'E';
    if (exponent < 0) out += '-';
    out += std::to_string(std::abs(exponent));
  } else if (exponent < 0) {
    out += '0';
    out += decimal_separator;
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
      out += digits;
      out.append(whole - digits.size(), '0');
    } else {
      out.append(digits, 0, whole);
      out += decimal_separator;
      out.append(digits, whole);
    }
  }
  return out;
}

std::int64_t StrToInt64(std::string_view text) {
  const auto bad = [&] { return EConvertError::NotAnInteger(text); };
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) throw bad();
  // Decimal text must fit the signed range; hexadecimal may use all 64 bits.
  const std::uint64_t limit = base == 10 ? (negative ? 9223372036854775808ULL : 9223372036854775807ULL)
                                         : 0xFFFFFFFFFFFFFFFFULL;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else throw bad();
    if (value > (limit - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) throw bad();
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  return negative ? static_cast<std::int64_t>(0 - value) : static_cast<std::int64_t>(value);
}

}  // namespace sd::driver
