// IPv4 addresses as text: the dotted-quad test and the conversions between the four bytes and their
// dotted decimal text. Pure text work; name resolution, which asks the system, is a socket operation.
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

// "127.0.0.1" from the bytes in network order.
std::string AddressToText(const Ipv4Bytes& address);

// The bytes of a dotted quad in the order written. A part that is not a number raises EConvertError, a
// part outside 0..255 ERangeError.
Ipv4Bytes TextToAddress(std::string_view text);

}  // namespace sd::transport
