// The records that the driver fills in the host's memory, byte for byte as the host lays them out; their
// fields are listed in record_fields.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "smartdriver/record_fields.h"

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

// A field of a record, declared from its row of the lists.
#define SD_RECORD_FIELD(record, name, offset, kind, count) SD_FIELD_##kind(name, count, ShortString<count>)

// Filled by GetCardInfo (entry 7) and BlankCardInfo (entry 19).
struct CardInfo {
  SD_CARD_INFO_FIELDS(SD_RECORD_FIELD, CardInfo)
};

// Filled by DiscountOperation (entry 20) and ForwardDiscountOperation (entry 11).
struct DiscountResult {
  SD_DISCOUNT_RESULT_FIELDS(SD_RECORD_FIELD, DiscountResult)
};

// Filled by CashlessSale (entry 12) and CashlessReturn (entry 15).
struct CashlessResult {
  SD_CASHLESS_RESULT_FIELDS(SD_RECORD_FIELD, CashlessResult)
};

#undef SD_RECORD_FIELD
#pragma pack(pop)

// Every field lies where its row places it, and every record has the size the host allocates.
#define SD_RECORD_OFFSET(record, name, offset, kind, count) \
  static_assert(offsetof(record, name) == (offset), #record "." #name " must lie at +" #offset);
#define SD_RECORD_LAYOUT(record, FIELDS, size) \
  FIELDS(SD_RECORD_OFFSET, record) static_assert(sizeof(record) == (size), #record " must be " #size " bytes");
SD_RECORDS(SD_RECORD_LAYOUT)
#undef SD_RECORD_LAYOUT
#undef SD_RECORD_OFFSET

}  // namespace sd
