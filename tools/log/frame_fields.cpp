// Decoding the log's hex dumps with the driver's own codec: unstuffing, CRC-16/MODBUS, card numbers.
#include "tools/log/frame_fields.h"

#include <cstdio>

#include "exchange/codec.h"

namespace sd::logtool {
namespace {

constexpr std::uint8_t kFrameEnd = 0xC0;
constexpr std::uint8_t kEscape = 0xD0;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Two hex digits a byte, separated by blanks; the reason when it is not such a text.
bool ParseDump(std::string_view dump, std::vector<std::uint8_t>& bytes, std::string& reason) {
  std::size_t i = 0;
  while (i < dump.size()) {
    if (dump[i] == ' ') {
      ++i;
      continue;
    }
    const int high = HexDigit(dump[i]);
    const int low = i + 1 < dump.size() ? HexDigit(dump[i + 1]) : -1;
    if (high < 0 || low < 0 || (i + 2 < dump.size() && dump[i + 2] != ' ')) {
      reason = "not a hex dump at \"" + std::string(dump.substr(i, 8)) + "\"";
      return false;
    }
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    i += 2;
  }
  if (bytes.empty()) reason = "no bytes";
  return !bytes.empty();
}

std::int32_t BigEndian32(const std::vector<std::uint8_t>& d, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | d[at + i];
  return static_cast<std::int32_t>(value);
}

std::string Card(const std::vector<std::uint8_t>& d, std::size_t at) {
  std::int64_t value = 0;
  for (std::size_t i = 0; i < 5; ++i) value = (value << 8) | d[at + i];
  return exchange::CardNumberText(value);
}

void Checksum(FrameFields& f, const std::vector<std::uint8_t>& d, std::size_t covered) {
  f.checksum_computed = exchange::Crc16(std::span<const std::uint8_t>(d.data(), covered));
  f.checksum_carried = d[covered] + 256u * d[covered + 1];
  f.checksum_ok = f.checksum_computed == f.checksum_carried;
}

// A request is checked strictly: the driver always frames it whole.
void DecodeRequest(FrameFields& f) {
  const auto& raw = f.raw;
  for (std::size_t i = 0; i + 1 < raw.size(); ++i) {
    if (raw[i] == kFrameEnd) return void(f.reason = "a terminator C0 before its end");
    if (raw[i] == kEscape && raw[i + 1] != 0xC1 && raw[i + 1] != 0xD1)
      return void(f.reason = "D0 before a byte that is not stuffed");
  }
  if (raw.back() != kFrameEnd) return void(f.reason = "no terminator C0 at its end");
  std::vector<std::uint8_t> d = exchange::UnescapeBytes(raw);
  d.pop_back();
  if (d.size() < 2) return void(f.reason = "too short for a type");
  f.type = d[1];
  const std::size_t expected = f.type == 2 ? 18 : (f.type == 1 || f.type == 3) ? 17 : 0;
  if (expected == 0) return void(f.reason = "request type " + std::to_string(f.type) + " is none the driver sends");
  if (d.size() != expected)
    return void(f.reason = "a type " + std::to_string(f.type) + " request is " + std::to_string(expected) +
                           " bytes long, this one " + std::to_string(d.size()));
  f.decoded = true;
  f.counter = BigEndian32(d, 2);
  f.wallet = d[6];
  f.quantity = BigEndian32(d, 7);
  if (f.type == 2)
    f.card = Card(d, 11);
  else
    f.unit_price = BigEndian32(d, 11);
  Checksum(f, d, expected - 2);
}

// A reply is read as the driver reads it: the checksum stands before the last byte, whatever the type.
void DecodeReply(FrameFields& f) {
  const std::vector<std::uint8_t> d = exchange::UnescapeBytes(f.raw);
  if (d.size() < 3) return void(f.reason = std::to_string(d.size()) + " bytes: too short to carry a checksum");
  f.decoded = true;
  f.type = d[1];
  Checksum(f, d, d.size() - 3);
  if (d.size() >= 7) {
    f.has_echo = true;
    f.counter = BigEndian32(d, 2);
    f.wallet = d[6];
  }
  if (f.type != 1 && f.type != 3) return;
  if (d.size() < 21) {
    f.reason = std::to_string(d.size()) + " bytes: too short for the fields of its type (21 needed)";
    return;
  }
  f.has_fields = true;
  f.approval = BigEndian32(d, 7);
  f.discounted_price = BigEndian32(d, 11);
  f.discount_tenths = d[15];
  f.card = Card(d, 16);
}

}  // namespace

FrameFields DecodeDump(std::string_view dump, bool request) {
  FrameFields f;
  f.request = request;
  // A long reply is logged as its first bytes and "... (N байт)": they are shown, but decode to nothing.
  if (const std::size_t cut = dump.find("... ("); cut != std::string_view::npos) {
    if (ParseDump(dump.substr(0, cut), f.raw, f.reason))
      f.reason = "the log keeps only its first " + std::to_string(f.raw.size()) + " bytes" +
                 std::string(dump.substr(cut + 3));
    return f;
  }
  if (!ParseDump(dump, f.raw, f.reason)) {
    f.raw.clear();
    return f;
  }
  if (request)
    DecodeRequest(f);
  else
    DecodeReply(f);
  return f;
}

std::string Fixed(std::int64_t value, int decimals, bool trim) {
  std::int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::string text = std::to_string(magnitude / static_cast<std::uint64_t>(scale));
  std::string fraction = std::to_string(magnitude % static_cast<std::uint64_t>(scale));
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  if (trim)
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return (negative ? "-" : "") + text;
}

std::string Describe(const FrameFields& f) {
  const char* what = f.request ? "request" : "reply";
  if (!f.decoded) return std::string(what) + " not decoded: " + f.reason + ": " + exchange::HexDump(f.raw);
  std::string text = std::string(what) + " type " + std::to_string(f.type);
  if (f.request) {
    text += ", counter " + std::to_string(f.counter) + ", wallet " + std::to_string(f.wallet) + ", quantity " +
            Fixed(f.quantity, 3, true);
    if (f.type == 2) {
      text += ", card " + f.card;
    } else {
      // The wire carries the unit price; the sum is what it makes with the quantity.
      const std::int64_t sum = (static_cast<std::int64_t>(f.unit_price) * f.quantity + 500) / 1000;
      text += ", unit price " + Fixed(f.unit_price, 2, false) + ", sum " + Fixed(sum, 2, false);
    }
  } else if (f.has_fields) {
    text += ", card " + f.card + ", discount " + Fixed(f.discount_tenths, 1, true) + "%, discounted price " +
            Fixed(f.discounted_price, 2, false) + (f.approval != 0 ? ", approved (" : ", not approved (") +
            std::to_string(f.approval) + ")";
  } else {
    text += f.reason.empty() ? ", no fields" : ", " + f.reason;
  }
  if (f.checksum_ok) return text + ", checksum ok";
  return text + ", checksum WRONG (computed " + std::to_string(f.checksum_computed) + ", carried " +
         std::to_string(f.checksum_carried) + ")";
}

}  // namespace sd::logtool
