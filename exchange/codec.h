// The packet codec: requests of types 1, 2 and 3 with their CRC-16/MODBUS and byte-stuffing, the
// check and decoding of a server's reply, and the card number conversions. It is pure: no I/O and no
// state of its own; a rejected reply is reported to the caller, which logs it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/log_lines.h"
#include "smartdriver/errors.h"

namespace sd::exchange {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kFrameEnd = 0xC0;
inline constexpr std::uint8_t kEscape = 0xD0;

// CRC-16/MODBUS (initial 0xFFFF, reflected polynomial 0xA001, no final XOR) of all the bytes.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

// The same over count bytes from index first; count <= 0 gives 0xFFFF. A range reaching outside the
// bytes raises sd::ERangeError instead of reading past them.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, int first, int count);

// 0xC0 becomes D0 C1 and 0xD0 becomes D0 D1; every other byte stays.
Bytes EscapeBytes(std::span<const std::uint8_t> bytes);

// D0 C1 becomes C0 and D0 D1 becomes D0; a D0 before any other byte, or at the end, is dropped. The
// terminator is not special and is copied.
Bytes UnescapeBytes(std::span<const std::uint8_t> bytes);

// The nearest whole number, an exact half going to the even one, whatever rounding mode is in force.
long double RoundHalfEven(long double value);

// The unit price field of a request: ((sum / 100) / (quantity / 1000)) * 100 on long double, rounded to
// nearest with halves to even, low 32 bits. Quantity 0 raises sd::EZeroDivide.
std::int32_t UnitPrice(std::int32_t quantity, std::int32_t sum);

// The packet type, byte 1 of every request and reply.
enum class PacketType : std::uint8_t {
  kSale = 1,      // a sale start on the discount server, a sale on the cashless server
  kCancel = 2,    // a sale cancel on the discount server, a return on the cashless server
  kDiscount = 3,  // a discount request, and the card query on the cashless server
};

// Whether that unit price fits its signed 32-bit field as it is, without wrapping. Quantity 0 raises
// sd::EZeroDivide.
bool UnitPriceFits(std::int32_t quantity, std::int32_t sum);

// Replaces out with the frame of a type 1 or 3 request (quantity in thousandths, sum in hundredths)
// carrying the counter's value, then advances the counter (wrapping). Quantity 0 raises sd::EZeroDivide
// and changes neither out nor the counter.
void BuildRequest(PacketType packet_type, std::uint8_t wallet, std::int32_t quantity, std::int32_t sum,
                  std::int32_t& counter, Bytes& out);

// Replaces out with the frame of a type 2 request whose card field is the decimal digits of card_number
// read as hexadecimal, then advances the counter. A negative card number, or one of more than the
// kCardDigits that the 40-bit field carries, raises sd::EConvertError and changes neither out nor the
// counter.
void BuildCancelRequest(std::uint8_t wallet, std::int32_t quantity, std::int32_t& counter,
                        std::int64_t card_number, Bytes& out);

// The decimal digits a card number may have: ten, read as hexadecimal, fill the 40-bit card field.
inline constexpr std::size_t kCardDigits = 10;

// The fewest bytes, unstuffed and with checksum and terminator, of a reply that carries the fields.
inline constexpr std::size_t kRepliedFieldsSize = 24;

// A reply that passed its checksum. Only reply types 1 and 3 of at least kRepliedFieldsSize bytes carry
// the fields; for any other reply HasFields is false and the fields are zero.
struct DecodedReply {
  std::uint8_t Type = 0;
  bool HasFields = false;
  std::int32_t Approval = 0;
  std::int32_t DiscountedPrice = 0;  // unit price after discount, hundredths
  std::uint8_t DiscountTenths = 0;
  std::int64_t CardNumber = 0;       // 40 bits
};

// A reply that could not be taken: its checksum did not match, or a type 1 or 3 reply was too short to
// hold its fields. The message is the operator's text of the failure.
class ReplyRejected : public sd::Exception {
 public:
  enum class Kind { kChecksum, kData };
  // The message is the kind's rejection text of the log's list, then the detail.
  ReplyRejected(Kind kind, std::string detail)
      : Exception(std::string(kind == Kind::kChecksum ? log::ChecksumRejection() : log::DataRejection()) + detail),
        kind_(kind),
        detail_(std::move(detail)) {}
  Kind kind() const noexcept { return kind_; }
  // The log line the exchange thread writes for the rejection, and what follows the line's text.
  log::LogLine Line() const noexcept {
    return kind_ == Kind::kChecksum ? log::LogLine::BadChecksum : log::LogLine::BadData;
  }
  const std::string& Detail() const noexcept { return detail_; }

 private:
  Kind kind_;
  std::string detail_;
};

// Checks a reply as received (still stuffed) and decodes it. A checksum mismatch raises ReplyRejected
// of kind kChecksum with "Неверная контрольная сумма входящего пакета (computed<>received) DATA: " and
// a dump of the unstuffed bytes but the last; a type 1 or 3 reply shorter than 21 bytes raises kind
// kData with "Ошибка в принятых данных: " and the reason.
DecodedReply DecodeReply(std::span<const std::uint8_t> received);

// Upper-case hexadecimal of the number, at least two digits, padded with '0' to at least ten
// characters. A negative number shows its 64-bit two's complement.
std::string CardNumberText(std::int64_t card_number);

// The whole text read as one hexadecimal number (0-9, A-F, a-f) of at most 64 bits; anything else
// raises sd::EConvertError.
std::int64_t HexDigitsToInt64(std::string_view text);

// Two upper-case hexadecimal digits and a space for every byte (the form of the log's dumps).
std::string HexDump(std::span<const std::uint8_t> bytes);

// The most bytes of a frame that a log line or a message shows as hexadecimal.
inline constexpr std::size_t kDumpLimit = 1024;

// HexDump of at most the first kDumpLimit bytes; of a longer frame followed by "... (N байт)", N its
// whole size, so that a flood of noise cannot flood the log.
std::string HexDumpLimited(std::span<const std::uint8_t> bytes);

}  // namespace sd::exchange
