// Dotted-quad parsing, the conversions of IPv4 addresses, and resolution through the platform.
#include "transport/addresses.h"

#include <cctype>
#include <optional>

#include "platform/sockets.h"
#include "smartdriver/errors.h"
#include "transport/socket_ops.h"
#include "transport/transport_errors.h"
#include "transport/transport_texts.h"

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

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
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

std::string ResolveToAddress(std::string_view host, int limit_ms) {
  if (EqualsIgnoringCase(host, "LOCALHOST")) return "127.0.0.1";
  if (IsDottedQuad(host)) return std::string(host);
  return LookupHostAddress(host, limit_ms);
}

std::string LookupHostAddress(std::string_view name, int limit_ms) {
  Ipv4Bytes address{};
  const std::string terminated(name);
  const auto& ops = sd::platform::Sockets();
  const int result = limit_ms < 0 ? ops.lookup_ipv4(terminated.c_str(), &address)
                                  : ops.lookup_ipv4_within(terminated.c_str(), &address, limit_ms);
  if (result == -2) throw TransportError(std::string(Text(TransportText::kConnectTimedOut)));
  CheckSocketResult(result);
  return AddressToText(address);
}

std::string AddressToText(const Ipv4Bytes& address) {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) +
         "." + std::to_string(address[3]);
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
