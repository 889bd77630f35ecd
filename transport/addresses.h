// IPv4 addresses as text: the dotted-quad test, name resolution and the conversions between the four
// bytes and their dotted decimal text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sd::transport {

using Ipv4Bytes = std::array<std::uint8_t, 4>;

// True for four parts 0..255 separated by dots; the parts may be padded with blanks and one trailing
// dot is accepted ("10.0.0.5 ", "192.168.0.1.").
bool IsDottedQuad(std::string_view text);

// "localhost" in any letter case is 127.0.0.1 without a lookup, a dotted quad is itself, and any other
// name is looked up, within limit_ms when it is not negative.
std::string ResolveToAddress(std::string_view host, int limit_ms = -1);

// The first IPv4 address of a name; an unknown name raises SocketError 11001. With a limit that is not
// negative, a resolver that has not answered by then raises "Connect timed out.": the lookup is the
// first part of a connect with a time-out.
std::string LookupHostAddress(std::string_view name, int limit_ms = -1);

// "127.0.0.1" from the bytes in network order.
std::string AddressToText(const Ipv4Bytes& address);

// The bytes of a dotted quad in the order written. A part that is not a number raises EConvertError, a
// part outside 0..255 ERangeError.
Ipv4Bytes TextToAddress(std::string_view text);

}  // namespace sd::transport
