// The server's side of the wire format: reading a request frame the way a server does, building the
// reply frame, and the one-line descriptions that the emulator prints.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "exchange/codec.h"

namespace sd::emulator {

using sd::exchange::Bytes;

// A request frame as the emulator understood it. Fields the frame is too short to hold stay unset.
struct RequestInfo {
  Bytes raw;                          // as received, still stuffed
  Bytes message;                      // unstuffed, terminator included when there was one
  bool crc_ok = false;
  std::uint16_t crc_computed = 0xFFFF;  // over the bytes before the CRC
  std::uint16_t crc_received = 0;       // the two bytes before the terminator, low first
  std::uint8_t type = 0;
  std::int32_t counter = 0;
  std::uint8_t wallet = 0;
  std::int32_t quantity = 0;
  std::optional<std::int32_t> unit_price;  // types other than 2
  std::optional<std::int64_t> card;        // type 2: the 40-bit card field
  bool complete = false;                   // long enough for the fields of its type
};

// The fields a reply carries.
struct ReplyFields {
  std::uint8_t type = 1;
  std::int32_t counter = 0;
  std::uint8_t wallet = 0;
  std::int32_t approval = 1;
  std::int32_t price = 0;
  std::uint8_t discount = 0;
  std::int64_t card = 0;
};

RequestInfo ParseRequest(std::span<const std::uint8_t> raw);

// The framed 21-byte reply; with bad_crc its checksum is deliberately wrong (and still stuffed).
Bytes BuildReply(const ReplyFields& fields, bool bad_crc = false);

// The reply's fields read back from a frame, for printing what was sent; nullopt when the frame is
// not a well-formed 21-byte reply.
std::optional<ReplyFields> ParseReply(std::span<const std::uint8_t> raw);

std::string Describe(const RequestInfo& request);
std::string Describe(const ReplyFields& reply);

// The unit price after a discount given in tenths of a percent, rounded half away from zero.
std::int32_t Discounted(std::int32_t unit_price, int discount_tenths);

}  // namespace sd::emulator
