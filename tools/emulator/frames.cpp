// Request parsing, reply building and their printed descriptions for the server emulator.
#include "tools/emulator/frames.h"

#include <cmath>
#include <sstream>

namespace sd::emulator {
namespace {

std::uint64_t ReadBigEndian(const Bytes& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = 0; i < width; ++i) value = (value << 8) | bytes[at + i];
  return value;
}

void PutBigEndian(Bytes& bytes, std::size_t at, int width, std::uint64_t value) {
  for (int i = width - 1; i >= 0; --i, value >>= 8) bytes[at + i] = static_cast<std::uint8_t>(value);
}

}  // namespace

RequestInfo ParseRequest(std::span<const std::uint8_t> raw) {
  RequestInfo info;
  info.raw.assign(raw.begin(), raw.end());
  info.message = sd::exchange::UnescapeBytes(raw);
  const Bytes& m = info.message;
  // The checksum is found from the end, as the driver finds a reply's.
  if (m.size() >= 3) {
    info.crc_computed = sd::exchange::Crc16(std::span<const std::uint8_t>(m.data(), m.size() - 3));
    info.crc_received = static_cast<std::uint16_t>(m[m.size() - 3] + 256 * m[m.size() - 2]);
    info.crc_ok = info.crc_computed == info.crc_received;
  }
  if (m.size() >= 2) info.type = m[1];
  if (m.size() >= 11) {
    info.counter = static_cast<std::int32_t>(ReadBigEndian(m, 2, 4));
    info.wallet = m[6];
    info.quantity = static_cast<std::int32_t>(ReadBigEndian(m, 7, 4));
  }
  if (info.type == 2 && m.size() >= 16) {
    info.card = static_cast<std::int64_t>(ReadBigEndian(m, 11, 5));
    info.complete = true;
  } else if (info.type != 2 && m.size() >= 15) {
    info.unit_price = static_cast<std::int32_t>(ReadBigEndian(m, 11, 4));
    info.complete = true;
  }
  return info;
}

Bytes BuildReply(const ReplyFields& fields, bool bad_crc) {
  Bytes message(23, 0);
  message[0] = 1;
  message[1] = fields.type;
  PutBigEndian(message, 2, 4, static_cast<std::uint32_t>(fields.counter));
  message[6] = fields.wallet;
  PutBigEndian(message, 7, 4, static_cast<std::uint32_t>(fields.approval));
  PutBigEndian(message, 11, 4, static_cast<std::uint32_t>(fields.price));
  message[15] = fields.discount;
  PutBigEndian(message, 16, 5, static_cast<std::uint64_t>(fields.card));
  std::uint16_t crc = sd::exchange::Crc16(std::span<const std::uint8_t>(message.data(), 21));
  if (bad_crc) crc = static_cast<std::uint16_t>(crc ^ 0x5A5A);
  message[21] = static_cast<std::uint8_t>(crc & 0xFF);
  message[22] = static_cast<std::uint8_t>(crc >> 8);
  Bytes frame = sd::exchange::EscapeBytes(message);
  frame.push_back(sd::exchange::kFrameEnd);
  return frame;
}

std::optional<ReplyFields> ParseReply(std::span<const std::uint8_t> raw) {
  const Bytes m = sd::exchange::UnescapeBytes(raw);
  if (m.size() != 24 || m.back() != sd::exchange::kFrameEnd) return std::nullopt;
  ReplyFields fields;
  fields.type = m[1];
  fields.counter = static_cast<std::int32_t>(ReadBigEndian(m, 2, 4));
  fields.wallet = m[6];
  fields.approval = static_cast<std::int32_t>(ReadBigEndian(m, 7, 4));
  fields.price = static_cast<std::int32_t>(ReadBigEndian(m, 11, 4));
  fields.discount = m[15];
  fields.card = static_cast<std::int64_t>(ReadBigEndian(m, 16, 5));
  return fields;
}

std::string Describe(const RequestInfo& request) {
  std::ostringstream out;
  if (request.message.size() < 11) {
    out << "request too short to decode (" << request.message.size() << " bytes unstuffed)";
  } else {
    out << "type=" << int(request.type) << " counter=" << request.counter
        << " wallet=" << int(request.wallet) << " quantity=" << request.quantity;
    if (request.unit_price) out << " unit-price=" << *request.unit_price;
    if (request.card) out << " card=" << sd::exchange::CardNumberText(*request.card);
    if (!request.complete) out << " (truncated)";
  }
  if (request.message.size() < 3)
    out << " crc=missing";
  else if (request.crc_ok)
    out << " crc=ok";
  else
    out << " crc=WRONG (computed " << request.crc_computed << ", frame has " << request.crc_received
        << ")";
  if (request.message.empty() || request.message.back() != sd::exchange::kFrameEnd)
    out << " no-terminator";
  return out.str();
}

std::string Describe(const ReplyFields& reply) {
  std::ostringstream out;
  out << "type=" << int(reply.type) << " counter=" << reply.counter << " wallet=" << int(reply.wallet)
      << " approval=" << reply.approval << " price=" << reply.price
      << " discount=" << int(reply.discount) << " card=" << sd::exchange::CardNumberText(reply.card);
  return out.str();
}

std::int32_t Discounted(std::int32_t unit_price, int discount_tenths) {
  const long double price = static_cast<long double>(unit_price) * (1000 - discount_tenths) / 1000.0L;
  return static_cast<std::int32_t>(std::llround(price));
}

}  // namespace sd::emulator
