// Tests of the packet codec: the worked frames byte for byte, the arithmetic of the fields, stuffing,
// and every way a reply can be rejected.
#include "exchange/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"

namespace sd::exchange {
namespace {

using namespace sd::literals;
Bytes Hex(const char* text) {
  Bytes bytes;
  std::istringstream in(text);
  for (unsigned value; in >> std::hex >> value;) bytes.push_back(static_cast<std::uint8_t>(value));
  return bytes;
}

// The bit-by-bit CRC-16/MODBUS, as the reference the table must agree with.
std::uint16_t BitwiseCrc(std::span<const std::uint8_t> bytes) {
  unsigned crc = 0xFFFF;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc);
}

// A reply frame as a server sends it: 21 message bytes, the CRC low byte first, stuffed, terminated.
Bytes Reply(std::uint8_t type, std::uint32_t approval, std::uint32_t price, std::uint8_t discount,
            std::uint64_t card, std::size_t length = 21) {
  Bytes m(length, 0);
  const auto put = [&](std::size_t at, int width, std::uint64_t value) {
    for (int i = width - 1; i >= 0; --i, value >>= 8)
      if (at + i < m.size()) m[at + i] = static_cast<std::uint8_t>(value);
  };
  m[0] = 1;
  m[1] = type;
  put(7, 4, approval);
  put(11, 4, price);
  put(15, 1, discount);
  put(16, 5, card);
  const std::uint16_t crc = Crc16(m);
  m.push_back(static_cast<std::uint8_t>(crc));
  m.push_back(static_cast<std::uint8_t>(crc >> 8));
  Bytes frame = EscapeBytes(m);
  frame.push_back(0xC0);
  return frame;
}

TEST(Codec, WorkedExamplesByteForByte) {
  const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc16(digits), 0x4B37);

  Bytes frame;
  std::int32_t counter = 0;
  BuildRequest(PacketType::kDiscount, 1, 1, 1, counter, frame);
  EXPECT_EQ(frame, Hex("01 03 00 00 00 00 01 00 00 00 01 00 00 03 E8 B2 52 C0"));
  EXPECT_EQ(counter, 1);

  counter = 192;
  BuildRequest(PacketType::kDiscount, 1, 1, 1, counter, frame);
  EXPECT_EQ(frame, Hex("01 03 00 00 00 D0 C1 01 00 00 00 01 00 00 03 E8 B7 6E C0"));
  EXPECT_EQ(counter, 193);

  counter = 5;
  BuildCancelRequest(1, 1000, counter, 1234567890, frame);
  EXPECT_EQ(frame, Hex("01 02 00 00 00 05 01 00 00 03 E8 12 34 56 78 90 ED 0F C0"));
  EXPECT_EQ(counter, 6);

  const DecodedReply result = DecodeReply(Hex("01 01 00 00 00 07 01 00 00 00 01 00 00 25 1C 32 12 34 56 78 90 DE 6E C0"));
  EXPECT_EQ(result.Type, 1);
  EXPECT_TRUE(result.HasFields);
  EXPECT_EQ(result.Approval, 1);
  EXPECT_EQ(result.DiscountedPrice, 9500);
  EXPECT_EQ(result.DiscountTenths, 50);
  EXPECT_EQ(result.CardNumber, 0x1234567890);
  EXPECT_EQ(CardNumberText(result.CardNumber), "1234567890");
}

TEST(Codec, CountersAreSentBigEndianAndWrap) {
  Bytes frame;
  std::int32_t counter = 0x01020304;
  BuildRequest(PacketType::kSale, 7, 1000, 100, counter, frame);
  EXPECT_EQ(Bytes(frame.begin() + 2, frame.begin() + 7), Hex("01 02 03 04 07"));
  EXPECT_EQ(counter, 0x01020305);

  counter = 2147483647;
  BuildRequest(PacketType::kSale, 7, 1000, 100, counter, frame);
  EXPECT_EQ(Bytes(frame.begin() + 2, frame.begin() + 6), Hex("7F FF FF FF"));
  EXPECT_EQ(counter, -2147483647 - 1);
  BuildCancelRequest(1, 1000, counter, 1, frame);
  EXPECT_EQ(Bytes(frame.begin() + 2, frame.begin() + 6), Hex("80 00 00 00"));
  EXPECT_EQ(counter, -2147483647);
}

TEST(Codec, UnitPriceRoundsHalvesToEvenAndKeepsLow32Bits) {
  struct Case {
    std::int32_t quantity, sum, price;
  } cases[] = {
      {1500, 15050, 10033},  // 1.5 units for 150.50
      {1, 1, 1000},
      {3000, 100, 33},
      // Exact halves in extended precision: (S / 100) / 2 * 100 = S / 2.
      {2000, 1, 0},
      {2000, 3, 2},
      {2000, 5, 2},
      {2000, 7, 4},
      {2000, -3, -2},
      {2000, -5, -2},
      // 2147483647000 = 500 * 2^32 - 1000, so only -1000 reaches the wire.
      {1, 2147483647, -1000},
      {-1000, 250, -250},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnitPrice(c.quantity, c.sum), c.price) << c.quantity << " " << c.sum;
    Bytes frame;
    std::int32_t counter = 0;
    BuildRequest(PacketType::kSale, 1, c.quantity, c.sum, counter, frame);
    const Bytes message = UnescapeBytes(frame);
    const auto sent = static_cast<std::int32_t>(std::uint32_t(message[11]) << 24 | message[12] << 16 |
                                                message[13] << 8 | message[14]);
    EXPECT_EQ(sent, c.price) << c.quantity << " " << c.sum;
  }
}

TEST(Codec, RejectedBuildsLeaveFrameAndCounterAlone) {
  const Bytes before = Hex("AA BB");
  Bytes frame = before;
  std::int32_t counter = 41;
  EXPECT_THROW(BuildRequest(PacketType::kDiscount, 1, 0, 100, counter, frame), sd::EZeroDivide);
  EXPECT_THROW(BuildRequest(PacketType::kDiscount, 1, 0, 0, counter, frame), sd::EZeroDivide);
  EXPECT_THROW(BuildCancelRequest(1, 1000, counter, -1234567890, frame), sd::EConvertError);
  EXPECT_THROW(BuildCancelRequest(1, 1000, counter, 12345678901234567, frame), sd::EConvertError);
  // Eleven digits do not fit the 40-bit field: cut, they would name another card.
  try {
    BuildCancelRequest(1, 1000, counter, 99999999999, frame);
    ADD_FAILURE() << "eleven digits built";
  } catch (const sd::EConvertError& e) {
    EXPECT_EQ(e.Message(), std::string("Номер карты длиннее 10 цифр: 99999999999"_w));
  }
  EXPECT_EQ(frame, before);
  EXPECT_EQ(counter, 41);
}

TEST(Codec, CancelCardFieldIsDecimalDigitsReadAsHex) {
  struct Case {
    std::int64_t card;
    const char* field;
  } cases[] = {
      {1234567890, "12 34 56 78 90"},
      {12345678, "00 12 34 56 78"},
      {0, "00 00 00 00 00"},
      {9999999999, "99 99 99 99 99"},  // ten digits, as many as the field holds
  };
  for (const auto& c : cases) {
    Bytes frame;
    std::int32_t counter = 0;
    BuildCancelRequest(1, 1000, counter, c.card, frame);
    const Bytes message = UnescapeBytes(frame);
    ASSERT_EQ(message.size(), 19u);
    EXPECT_EQ(Bytes(message.begin() + 11, message.begin() + 16), Hex(c.field)) << c.card;
  }
}

TEST(Codec, FramesStuffEveryC0AndD0IncludingTheCrc) {
  std::mt19937 random(20260101);
  std::int32_t crc_stuffed = 0;
  for (int i = 0; i < 20000; ++i) {
    const auto counter_value = static_cast<std::int32_t>(random());
    std::int32_t counter = counter_value;
    Bytes frame;
    const auto wallet = static_cast<std::uint8_t>(random());
    const auto quantity = static_cast<std::int32_t>(random() % 100000 + 1);
    if (i % 2 == 0)
      BuildRequest(PacketType::kDiscount, wallet, quantity, static_cast<std::int32_t>(random()), counter, frame);
    else
      BuildCancelRequest(wallet, quantity, counter, random() % 10000000000LL, frame);
    const Bytes message = UnescapeBytes(frame);
    const std::size_t body = message.size() - 3;
    ASSERT_TRUE(body == 15 || body == 16);
    ASSERT_EQ(message.back(), 0xC0);
    ASSERT_EQ(std::count(frame.begin(), frame.end(), 0xC0), 1);
    const auto stuffed = std::count_if(message.begin(), message.end() - 1,
                                       [](std::uint8_t b) { return b == 0xC0 || b == 0xD0; });
    ASSERT_EQ(frame.size(), message.size() + stuffed);
    ASSERT_EQ(Crc16(std::span(message).first(body)), message[body] | message[body + 1] << 8);
    if (message[body] == 0xC0 || message[body] == 0xD0 || message[body + 1] == 0xC0 ||
        message[body + 1] == 0xD0)
      ++crc_stuffed;
    // Read as a reply, the checksum passes: a cancel carries no fields, the others are too short.
    if (message[1] == 2) {
      ASSERT_FALSE(DecodeReply(frame).HasFields);
    } else {
      try {
        DecodeReply(frame);
        FAIL() << "accepted an 18-byte type 3 reply";
      } catch (const ReplyRejected& e) {
        ASSERT_EQ(e.kind(), ReplyRejected::Kind::kData);
        ASSERT_EQ(e.Message().rfind(std::string("Ошибка в принятых данных: "_w), 0), 0u);
      }
    }
  }
  EXPECT_GT(crc_stuffed, 0);
}

TEST(Codec, EscapeThenUnescapeGivesTheMessageBack) {
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    Bytes message(random() % 64);
    // Bias towards the two special bytes so that runs of them occur.
    for (auto& b : message) b = random() % 4 == 0 ? (random() % 2 ? 0xC0 : 0xD0) : random() % 256;
    Bytes frame = EscapeBytes(message);
    ASSERT_EQ(std::count(frame.begin(), frame.end(), 0xC0), 0);
    ASSERT_LE(frame.size(), 2 * message.size());
    frame.push_back(0xC0);
    Bytes expected = message;
    expected.push_back(0xC0);  // the terminator is copied, not removed
    ASSERT_EQ(UnescapeBytes(frame), expected);
  }
}

TEST(Codec, UnescapeCases) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"D0 05", "05"},       {"D0 C1", "C0"},     {"D0 D1", "D0"}, {"D0", ""},
      {"01 D0", "01"},       {"C0", "C0"},        {"D0 D0 C1", "C0"},
      {"D0 C0", "C0"},       {"", ""},            {"D0 D1 D0 C1 C0", "D0 C0 C0"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnescapeBytes(Hex(c.in)), Hex(c.out)) << c.in;
}

TEST(Codec, Crc16TableMatchesTheBitLoop) {
  std::mt19937 random(3);
  for (int i = 0; i < 500; ++i) {
    Bytes bytes(random() % 300);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    ASSERT_EQ(Crc16(bytes), BitwiseCrc(bytes));
  }
  const Bytes bytes = Hex("01 02 03");
  EXPECT_EQ(Crc16(bytes, 0, 0), 0xFFFF);
  EXPECT_EQ(Crc16(bytes, 5, -1), 0xFFFF);
  EXPECT_EQ(Crc16(bytes, 1, 2), BitwiseCrc(std::span(bytes).subspan(1)));
  EXPECT_THROW(Crc16(bytes, 2, 2), sd::ERangeError);
  EXPECT_THROW(Crc16(bytes, -1, 1), sd::ERangeError);
}

TEST(Codec, CardNumberTextAndHexDigits) {
  EXPECT_EQ(CardNumberText(0x1234567890), "1234567890");
  EXPECT_EQ(CardNumberText(0xAB), "00000000AB");
  EXPECT_EQ(CardNumberText(0), "0000000000");
  EXPECT_EQ(CardNumberText(0x123456789ABC), "123456789ABC");
  EXPECT_EQ(CardNumberText(-1), "FFFFFFFFFFFFFFFF");

  EXPECT_EQ(HexDigitsToInt64("1234567890"), 0x1234567890);
  EXPECT_EQ(HexDigitsToInt64("aBcD"), 0xABCD);
  EXPECT_EQ(HexDigitsToInt64("FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(HexDigitsToInt64("00000000000000000001"), 1);  // leading zeros do not count
  for (const char* bad : {"", "-1", "12G", " 12", "0x12", "11111111111111111"}) {
    try {
      HexDigitsToInt64(bad);
      ADD_FAILURE() << bad;
    } catch (const sd::EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
}

TEST(DecodeReply, ChecksumMismatchIsRaisedWithTheDump) {
  Bytes reply = Hex("01 01 00 00 00 07 01 00 00 00 01 00 00 25 1C 32 12 34 56 78 90 DE 6F C0");
  try {
    DecodeReply(reply);
    FAIL() << "no error";
  } catch (const ReplyRejected& e) {
    EXPECT_EQ(e.kind(), ReplyRejected::Kind::kChecksum);
    EXPECT_EQ(e.Message(), std::string("Неверная контрольная сумма входящего пакета (28382<>28638) DATA: "_w) +
                               "01 01 00 00 00 07 01 00 00 00 01 00 00 25 1C 32 12 34 56 78 90 DE 6F ");
  }
}

TEST(DecodeReply, RepliesTooShortForACrcFailTheChecksumSafely) {
  struct Case {
    const char* reply;
    const char* rest;  // what follows the message's opening words
  } cases[] = {
      {"", "(65535<>0) DATA: "},
      {"C0", "(65535<>0) DATA: "},
      {"01 C0", "(65535<>256) DATA: 01 "},
      {"D0 C1 C0", "(65535<>49152) DATA: C0 "},
      {"D0", "(65535<>0) DATA: "},
  };
  for (const auto& c : cases) {
    try {
      DecodeReply(Hex(c.reply));
      ADD_FAILURE() << c.reply;
    } catch (const ReplyRejected& e) {
      EXPECT_EQ(e.Message(), std::string("Неверная контрольная сумма входящего пакета "_w) + c.rest);
    }
  }
}

TEST(DecodeReply, OnlyTypes1And3CarryFields) {
  for (const Bytes& reply : {Reply(2, 1, 9500, 50, 0x1234567890), Reply(0, 1, 9500, 50, 0x1234567890),
                             Reply(2, 1, 9500, 50, 0, 5) /* short, but nothing is read */}) {
    const DecodedReply result = DecodeReply(reply);
    EXPECT_FALSE(result.HasFields);
    EXPECT_EQ(result.Approval, 0);
    EXPECT_EQ(result.CardNumber, 0);
  }
  EXPECT_EQ(DecodeReply(Reply(2, 1, 9500, 50, 0x1234567890)).Type, 2);

  // Fields holding the special bytes arrive stuffed, and negative values keep their sign.
  const DecodedReply result = DecodeReply(Reply(3, 0, 0xFFFFFFC0, 0xD0, 0xC0D0C0D0C0));
  EXPECT_TRUE(result.HasFields);
  EXPECT_EQ(result.Type, 3);
  EXPECT_EQ(result.Approval, 0);
  EXPECT_EQ(result.DiscountedPrice, -64);
  EXPECT_EQ(result.DiscountTenths, 0xD0);
  EXPECT_EQ(result.CardNumber, 0xC0D0C0D0C0);
}

TEST(DecodeReply, ShortType1ReplyIsRejectedAsReceivedData) {
  // 17 message bytes, the CRC and the terminator: 20 bytes after unstuffing.
  const Bytes reply = Reply(1, 1, 9500, 50, 0x1234567890, 17);
  ASSERT_EQ(UnescapeBytes(reply).size(), 20u);
  try {
    DecodeReply(reply);
    FAIL() << "no error";
  } catch (const ReplyRejected& e) {
    EXPECT_EQ(e.kind(), ReplyRejected::Kind::kData);
    const std::string prefix("Ошибка в принятых данных: "_w);
    EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(e.Message().size(), prefix.size());
  }

  // Up to 23 bytes the card's last bytes would be the CRC and terminator: such a reply carries no fields.
  for (std::size_t message = 18; message <= 20; ++message) {
    const DecodedReply result = DecodeReply(Reply(1, 1, 9500, 50, 0x1234567890, message));
    EXPECT_FALSE(result.HasFields) << message;
    EXPECT_EQ(result.CardNumber, 0) << message;
  }
  const DecodedReply result = DecodeReply(Reply(1, 1, 9500, 50, 0x1234567890, 21));
  EXPECT_TRUE(result.HasFields);
  EXPECT_EQ(result.CardNumber, 0x1234567890);
  // Three bytes whose checksum over nothing holds: no fields either.
  EXPECT_FALSE(DecodeReply(Hex("FF FF C0")).HasFields);
}

TEST(Codec, UnitPriceFitsOnlyWithoutWrapping) {
  EXPECT_TRUE(UnitPriceFits(1000, 2147483647));
  EXPECT_TRUE(UnitPriceFits(1000, -2147483647 - 1));
  EXPECT_FALSE(UnitPriceFits(1, 2500000));        // 0.001 units for 25000.00
  EXPECT_FALSE(UnitPriceFits(1, 2147483647));
  EXPECT_TRUE(UnitPriceFits(1, 2147483));          // 2147483000 hundredths
  EXPECT_FALSE(UnitPriceFits(1, 2147484));
  EXPECT_THROW(UnitPriceFits(0, 1), sd::EZeroDivide);
}

TEST(Codec, LongDumpsKeepTheirStartAndTellTheWholeSize) {
  const Bytes noise(100000, 0x41);
  const std::string dump = HexDumpLimited(noise);
  EXPECT_EQ(dump, HexDump(std::span(noise).first(1024)) + "... (100000 " + std::string("байт)"_w));
  EXPECT_EQ(HexDumpLimited(std::span(noise).first(1024)), HexDump(std::span(noise).first(1024)));
}

}  // namespace
}  // namespace sd::exchange
