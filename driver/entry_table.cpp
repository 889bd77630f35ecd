// The 22 entries of the driver table, the destructor before entry 0, and the table itself. Entries that
// reach no server are answered here; the four that do hand over to the card operations.
#include "driver/entry_table.h"

#include <cstring>

#include "driver/operations.h"
#include "platform/clock.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"
#include "smartdriver/host_text.h"

namespace sd::driver {
namespace {

using namespace sd::literals;

// The entries have the C calling convention of the host's contract; they stay local to this file.
extern "C" {

void SD_STDCALL Destroy(TSmartDriver* self) { delete self; }

void SD_STDCALL Abstract(TSmartDriver*) { throw EAbstractError(); }

void SD_STDCALL GetVersion(VersionText* result, TSmartDriver*) {
  // Exactly the length byte and the 16 characters: a host's buffer may be no larger than that.
  auto* bytes = reinterpret_cast<unsigned char*>(result);
  bytes[0] = sizeof kVersionText - 1;
  std::memcpy(bytes + 1, kVersionText, sizeof kVersionText - 1);
}

void SD_STDCALL Nop5(TSmartDriver*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void SD_STDCALL Nop6(TSmartDriver*, std::uint32_t) {}
void SD_STDCALL Nop8(TSmartDriver*, const char*) {}
void SD_STDCALL Nop9(TSmartDriver*, std::uint32_t) {}
void SD_STDCALL Nop13(TSmartDriver*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void SD_STDCALL Nop14(TSmartDriver*) {}
void SD_STDCALL Nop16(TSmartDriver*, std::uint32_t, std::uint32_t) {}
void SD_STDCALL Nop17(TSmartDriver*, Ignored272) {}
// The host gets no value from this entry; 0 stands where the result word is not set.
std::uint32_t SD_STDCALL Nop21(TSmartDriver*, Variant16) { return 0; }

void SD_STDCALL GetCardInfoEntry(CardInfo* result, TSmartDriver*, std::uint8_t koshel) {
  GetCardInfo(result, koshel);
}

void SD_STDCALL TerminalUnsupported(void*, TSmartDriver*, const char*, const char*, std::uint32_t,
                                    std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
  throw Exception(std::string("Не возможно выполнить эту операцию с данным видом терминала"_w));
}

void SD_STDCALL DiscountOperationEntry(DiscountResult* result, TSmartDriver*, std::uint8_t type_oper,
                                       std::uint8_t koshel, double kolvo, double summa, const char*,
                                       const char* card_text, const char*) {
  DiscountOperation(result, static_cast<char>(type_oper), koshel, kolvo, summa, ReadHostText(card_text));
}

void SD_STDCALL ForwardDiscountOperation(DiscountResult* result, TSmartDriver* self, std::uint8_t type_oper,
                                         std::uint8_t koshel, double kolvo, double summa, const char* text1,
                                         const char* text2) {
  // Through the table, so that whatever stands in entry 20 of this object answers.
  EntryOf<entry::DiscountOperation>(self, kDiscountOperation)(result, self, type_oper, koshel, kolvo, summa,
                                                              text1, text2, nullptr);
}

void SD_STDCALL CashlessSaleEntry(CashlessResult* result, TSmartDriver* self, std::uint32_t, std::uint8_t koshel,
                                  double kolvo, double summa) {
  CashlessSale(result, self, koshel, kolvo, summa);
}

void SD_STDCALL CashlessReturnEntry(CashlessResult* result, TSmartDriver*, std::uint32_t, const char*,
                                    const char* number_card, const std::uint8_t*, std::int32_t,
                                    std::uint8_t koshel, double kolvo, double summa, std::uint32_t) {
  CashlessReturn(result, ReadHostText(number_card), koshel, kolvo, summa);
}

void SD_STDCALL OperationUnsupported(void*, TSmartDriver*, std::uint32_t, std::uint32_t, std::uint32_t) {
  throw Exception(std::string("\"Вельтор\" не поддерживает данную операцию"_w));
}

void SD_STDCALL BlankCardInfo(CardInfo* result, TSmartDriver*, std::uint32_t, std::uint32_t) {
  result->Flag = 255;
  result->CardHead.length = 0;
  result->CardTail.length = 0;
  std::memset(result->Value16, 0, sizeof result->Value16);
  result->ValidUntil = platform::Clock().now_as_date() + 10;
  result->Amount32 = result->Amount40 = result->Amount48 = result->Amount56 = 1000;
}

}  // extern "C"

template <typename F>
const void* Slot(F* f) {
  return reinterpret_cast<const void*>(f);
}

// The destructor, then entries 0 to 21. An object points at entry 0.
const void* const kTable[1 + kSlotCount] = {
    Slot(&Destroy),
    Slot(&Abstract),                  // 0
    Slot(&GetVersion),                // 1
    Slot(&Abstract),                  // 2
    Slot(&Abstract),                  // 3
    Slot(&Abstract),                  // 4
    Slot(&Nop5),                      // 5
    Slot(&Nop6),                      // 6
    Slot(&GetCardInfoEntry),          // 7
    Slot(&Nop8),                      // 8
    Slot(&Nop9),                      // 9
    Slot(&TerminalUnsupported),       // 10
    Slot(&ForwardDiscountOperation),  // 11
    Slot(&CashlessSaleEntry),         // 12
    Slot(&Nop13),                     // 13
    Slot(&Nop14),                     // 14
    Slot(&CashlessReturnEntry),       // 15
    Slot(&Nop16),                     // 16
    Slot(&Nop17),                     // 17
    Slot(&OperationUnsupported),      // 18
    Slot(&BlankCardInfo),             // 19
    Slot(&DiscountOperationEntry),    // 20
    Slot(&Nop21),                     // 21
};

static_assert(std::is_same_v<decltype(Destroy), entry::Destroy>);
static_assert(std::is_same_v<decltype(GetVersion), entry::GetVersion>);
static_assert(std::is_same_v<decltype(Nop5), entry::Nop5>);
static_assert(std::is_same_v<decltype(GetCardInfoEntry), entry::GetCardInfo>);
static_assert(std::is_same_v<decltype(TerminalUnsupported), entry::TerminalUnsupported>);
static_assert(std::is_same_v<decltype(ForwardDiscountOperation), entry::ForwardDiscountOperation>);
static_assert(std::is_same_v<decltype(CashlessSaleEntry), entry::CashlessSale>);
static_assert(std::is_same_v<decltype(CashlessReturnEntry), entry::CashlessReturn>);
static_assert(std::is_same_v<decltype(Nop17), entry::Nop17>);
static_assert(std::is_same_v<decltype(OperationUnsupported), entry::OperationUnsupported>);
static_assert(std::is_same_v<decltype(BlankCardInfo), entry::BlankCardInfo>);
static_assert(std::is_same_v<decltype(DiscountOperationEntry), entry::DiscountOperation>);
static_assert(std::is_same_v<decltype(Nop21), entry::Nop21>);

}  // namespace

TSmartDriver* NewDriver() { return new TSmartDriver{&kTable[1]}; }

}  // namespace sd::driver
