// The binary contract between a host and the driver: the exported GeTDriver, the object whose first word
// is the address of its entry table, the 22 slots and the exact signature of each entry.
//
// Every entry takes, in order: the result record's address (only entries that fill a record or a
// length-prefixed text), the object, then its declared arguments. On 32-bit x86 the convention is stdcall,
// and each entry removes exactly the bytes noted beside its type.
#pragma once

#include <cstdint>

#include "smartdriver/records.h"
#include "smartdriver/refusal.h"

#if defined(_WIN32) && defined(__i386__)
#define SD_STDCALL __attribute__((stdcall))
#else
#define SD_STDCALL
#endif

// How the library exports GeTDriver: by visibility here, by its module definition file on Windows.
#if defined(_WIN32)
#define SD_EXPORT
#else
#define SD_EXPORT __attribute__((visibility("default")))
#endif

namespace sd {

// What the host holds: the first pointer-sized word is the address of entry 0 of the table.
struct TSmartDriver {
  const void* const* table;
};

enum Slot : int {
  kAbstract0 = 0,
  kGetVersion = 1,
  kAbstract2 = 2,
  kAbstract3 = 3,
  kAbstract4 = 4,
  kNop5 = 5,
  kNop6 = 6,
  kGetCardInfo = 7,
  kNop8 = 8,
  kNop9 = 9,
  kTerminalUnsupported = 10,
  kForwardDiscountOperation = 11,
  kCashlessSale = 12,
  kNop13 = 13,
  kNop14 = 14,
  kCashlessReturn = 15,
  kNop16 = 16,
  kNop17 = 17,
  kOperationUnsupported = 18,
  kBlankCardInfo = 19,
  kDiscountOperation = 20,
  kNop21 = 21,
  kSlotCount = 22,
};

// A variant passed by value: the 16-byte variant record itself.
struct Variant16 {
  std::uint8_t bytes[16];
};
// The 272 bytes that Nop17 is handed and ignores.
struct Ignored272 {
  std::uint8_t bytes[272];
};

// The version entry writes a length-prefixed text; the buffer must hold at least 16 characters.
using VersionText = ShortString<255>;

namespace entry {
using Abstract = void SD_STDCALL(TSmartDriver* self);
using GetVersion = void SD_STDCALL(VersionText* result, TSmartDriver* self);  // 8
using Nop5 = void SD_STDCALL(TSmartDriver* self, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t);                                    // 20
using Nop6 = void SD_STDCALL(TSmartDriver* self, std::uint32_t);               // 8
using GetCardInfo = void SD_STDCALL(CardInfo* result, TSmartDriver* self,
                                    std::uint8_t koshel);                       // 12
using Nop8 = void SD_STDCALL(TSmartDriver* self, const char* text);            // 8
using Nop9 = void SD_STDCALL(TSmartDriver* self, std::uint32_t);               // 8
using TerminalUnsupported = void SD_STDCALL(void* result, TSmartDriver* self, const char* text1,
                                            const char* text2, std::uint32_t, std::uint32_t,
                                            std::uint32_t, std::uint32_t, std::uint32_t);  // 36
using DiscountOperation = void SD_STDCALL(DiscountResult* result, TSmartDriver* self, std::uint8_t type_oper,
                                          std::uint8_t koshel, double kolvo, double summa,
                                          const char* text1, const char* card_text,
                                          const char* text3);                   // 44
using ForwardDiscountOperation = void SD_STDCALL(DiscountResult* result, TSmartDriver* self,
                                                 std::uint8_t type_oper, std::uint8_t koshel, double kolvo,
                                                 double summa, const char* text1,
                                                 const char* text2);            // 40
using CashlessSale = void SD_STDCALL(CashlessResult* result, TSmartDriver* self, std::uint32_t ignored,
                                     std::uint8_t koshel, double kolvo, double summa);  // 32
using Nop13 = void SD_STDCALL(TSmartDriver* self, std::uint32_t, std::uint32_t, std::uint32_t);  // 16
using Nop14 = void SD_STDCALL(TSmartDriver* self);                                               // 4
using CashlessReturn = void SD_STDCALL(CashlessResult* result, TSmartDriver* self, std::uint32_t ignored1,
                                       const char* ignored_text, const char* number_card,
                                       const std::uint8_t* ignored_bytes, std::int32_t ignored_high,
                                       std::uint8_t koshel, double kolvo, double summa,
                                       std::uint32_t ignored_last);             // 52
using Nop16 = void SD_STDCALL(TSmartDriver* self, std::uint32_t, std::uint32_t);  // 12
using Nop17 = void SD_STDCALL(TSmartDriver* self, Ignored272);                    // 276
using OperationUnsupported = void SD_STDCALL(void* result, TSmartDriver* self, std::uint32_t, std::uint32_t,
                                             std::uint32_t);                      // 20
using BlankCardInfo = void SD_STDCALL(CardInfo* result, TSmartDriver* self, std::uint32_t,
                                      std::uint32_t);                             // 16
using Nop21 = std::uint32_t SD_STDCALL(TSmartDriver* self, Variant16 value);      // 20
// The root class's destructor, in the word just before entry 0; the host releases an object with it.
using Destroy = void SD_STDCALL(TSmartDriver* self);
using GeTDriver = TSmartDriver* SD_STDCALL(std::uint8_t ignored);
}  // namespace entry

// The entry in `slot` of an object's table, as a function of type F; a refusal comes out of the call as
// the exception of smartdriver/errors.h on every platform (smartdriver/refusal.h).
template <typename F>
EntryCall<F> EntryOf(const TSmartDriver* object, int slot) {
  return EntryCall<F>(reinterpret_cast<F*>(const_cast<void*>(object->table[slot])));
}

// The destructor that stands before entry 0.
inline EntryCall<entry::Destroy> DestroyOf(const TSmartDriver* object) {
  return EntryCall<entry::Destroy>(reinterpret_cast<entry::Destroy*>(const_cast<void*>(object->table[-1])));
}

// The name under which the library exports its one function.
inline constexpr const char kGeTDriverSymbol[] = "GeTDriver";

}  // namespace sd
