// Dotted-quad parsing and the conversions of IPv4 addresses: pure text work, no system call.
#include "transport/addresses.h"

#include <cctype>
#include <charconv>
#include <optional>

#include "smartdriver/errors.h"

namespace sd::transport {
namespace {

// Takes the text before the first dot and removes it with its dot; with no dot left, takes the rest.
std::string_view NextPart(std::string_view& rest) {
  const auto dot = rest.find('.');
  std::string_view part = rest.substr(0, dot);
  rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
  return part;
}

// Blanks and control characters around a part do not count.
std::string_view Trim(std::string_view part) {
  while (!part.empty() && static_cast<unsigned char>(part.front()) <= ' ') part.remove_prefix(1);
  while (!part.empty() && static_cast<unsigned char>(part.back()) <= ' ') part.remove_suffix(1);
  return part;
}

// A decimal integer with an optional sign; nothing when the text is not one or is out of range.
std::optional<long long> ToInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > 0xFFFFFFFFLL) return std::nullopt;
  }
  return negative ? -value : value;
}

}  // namespace

bool IsDottedQuad(std::string_view text) {
  std::string_view rest = text;
  bool valid = true;
  for (int i = 0; i < 4; ++i) {
    const long long value = ToInteger(Trim(NextPart(rest))).value_or(-1);
    valid = valid && value >= 0 && value <= 255;
  }
  return valid && rest.empty();
}

std::string AddressToText(const Ipv4Bytes& address) {
  // Every connection reads its two endpoints back, so the text is made in place, without temporaries.
  char text[16];
  char* end = text;
  for (std::size_t i = 0; i < address.size(); ++i) {
    if (i > 0) *end++ = '.';
    end = std::to_chars(end, text + sizeof text, address[i]).ptr;
  }
  return std::string(text, end);
}

// Text left after the fourth part is refused like a part that is not a number, so "1.2.3.4.5" cannot
// quietly stand for 1.2.3.4 (a trailing dot alone is accepted, as by IsDottedQuad).
Ipv4Bytes TextToAddress(std::string_view text) {
  std::string_view rest = text;
  Ipv4Bytes address{};
  for (auto& byte : address) {
    const std::string_view part = Trim(NextPart(rest));
    const auto value = ToInteger(part);
    if (!value) throw sd::EConvertError::NotAnInteger(part);
    if (*value < 0 || *value > 255) throw sd::ERangeError();
    byte = static_cast<std::uint8_t>(*value);
  }
  if (!Trim(rest).empty()) throw sd::EConvertError::NotAnInteger(rest);
  return address;
}

}  // namespace sd::transport
