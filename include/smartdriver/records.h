// The records that the driver fills in the host's memory, byte for byte as the host lays them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sd {

#pragma pack(push, 1)

// A length-prefixed text of capacity N: a length byte, then up to N single-byte characters.
template <std::size_t N>
struct ShortString {
  std::uint8_t length;  // +0  characters in use, at most N
  char chars[N];        // +1  Windows-1251 characters; the bytes after `length` are not cleared

  std::string_view view() const { return {chars, length <= N ? length : N}; }
  // Stores the text cut to the capacity; the bytes beyond the new length stay as they were.
  void assign(std::string_view s) {
    const std::size_t n = s.size() < N ? s.size() : N;
    for (std::size_t i = 0; i < n; ++i) chars[i] = s[i];
    length = static_cast<std::uint8_t>(n);
  }
};

// Filled by GetCardInfo (entry 7) and BlankCardInfo (entry 19).
struct CardInfo {
  std::uint8_t Flag;           // +0   255 from BlankCardInfo; GetCardInfo leaves it
  ShortString<4> CardHead;     // +1   characters 1 to 4 of the card number text
  ShortString<6> CardTail;     // +6   characters 5 to 10 of the card number text
  std::uint8_t Unused13[3];    // +13  never written
  std::uint8_t Value16[8];     // +16  all zero from BlankCardInfo; GetCardInfo leaves it
  double ValidUntil;           // +24  days since 30 December 1899: now plus 10 days
  double Amount32;             // +32  0 from GetCardInfo, 1000 from BlankCardInfo
  double Amount40;             // +40  as Amount32
  double Amount48;             // +48  as Amount32
  double Amount56;             // +56  as Amount32
};

// Filled by DiscountOperation (entry 20) and ForwardDiscountOperation (entry 11).
struct DiscountResult {
  std::uint8_t Flag;              // +0   255 at the start of the operation
  std::uint8_t Unused1;           // +1   never written
  char TypeOper;                  // +2   0 at the start; the operation code after success
  std::uint8_t Byte3;             // +3   0 at the start
  std::uint8_t Byte4;             // +4   0 at the start
  std::uint8_t Unused5[4];        // +5   never written
  ShortString<16> NumberCard;     // +9   empty at the start; the card number text after success
  std::uint8_t Unused26[6];       // +26  never written
  double SummaSk;                 // +32  line sum after discount
  double Summa;                   // +40  line sum as passed
  double Price;                   // +48  unit price before discount
  double CosteSk;                 // +56  unit price after discount
  double Skidka;                  // +64  discount in percent
};

// Filled by CashlessSale (entry 12) and CashlessReturn (entry 15).
struct CashlessResult {
  std::uint8_t Flag;              // +0    255 at the start of the operation
  std::uint8_t Byte1;             // +1    0 at the start
  std::uint8_t Unused2[8];        // +2    never written
  ShortString<20> NumberCard;     // +10   empty at the start; the card number text
  std::uint8_t Unused31[121];     // +31   never written
  double SummaSk;                 // +152  line sum after discount
  double Skidka;                  // +160  discount in percent
  double PriceSk;                 // +168  unit price after discount
};

#pragma pack(pop)

static_assert(sizeof(ShortString<4>) == 5);
static_assert(offsetof(CardInfo, CardHead) == 1);
static_assert(offsetof(CardInfo, CardTail) == 6);
static_assert(offsetof(CardInfo, Value16) == 16);
static_assert(offsetof(CardInfo, ValidUntil) == 24);
static_assert(offsetof(CardInfo, Amount32) == 32);
static_assert(offsetof(CardInfo, Amount56) == 56);
static_assert(sizeof(CardInfo) == 64);

static_assert(offsetof(DiscountResult, TypeOper) == 2);
static_assert(offsetof(DiscountResult, Byte3) == 3);
static_assert(offsetof(DiscountResult, Byte4) == 4);
static_assert(offsetof(DiscountResult, NumberCard) == 9);
static_assert(offsetof(DiscountResult, SummaSk) == 32);
static_assert(offsetof(DiscountResult, Summa) == 40);
static_assert(offsetof(DiscountResult, Price) == 48);
static_assert(offsetof(DiscountResult, CosteSk) == 56);
static_assert(offsetof(DiscountResult, Skidka) == 64);
static_assert(sizeof(DiscountResult) == 72);

static_assert(offsetof(CashlessResult, Byte1) == 1);
static_assert(offsetof(CashlessResult, NumberCard) == 10);
static_assert(offsetof(CashlessResult, SummaSk) == 152);
static_assert(offsetof(CashlessResult, Skidka) == 160);
static_assert(offsetof(CashlessResult, PriceSk) == 168);
static_assert(sizeof(CashlessResult) == 176);

}  // namespace sd
