// The 22 entries of the driver table, the destructor before entry 0, and the table itself. Entries that
// reach no server are answered here; the four that do hand over to the card operations.
#include "driver/entry_table.h"

#include <cstring>
#include <type_traits>

#include "driver/entry_boundary.h"
#include "driver/operations.h"
#include "platform/clock.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"
#include "smartdriver/host_text.h"

namespace sd::driver {
namespace {

using namespace sd::literals;

// The work of each entry; the table holds each behind its boundary, in the host's calling convention.

void Destroy(TSmartDriver* self) { delete self; }

void Abstract(TSmartDriver*) { throw EAbstractError(); }

void GetVersion(VersionText* result, TSmartDriver*) {
  RequireRecord(result);
  // Exactly the length byte and the 16 characters: a host's buffer may be no larger than that.
  auto* bytes = reinterpret_cast<unsigned char*>(result);
  bytes[0] = sizeof kVersionText - 1;
  std::memcpy(bytes + 1, kVersionText, sizeof kVersionText - 1);
}

void Nop5(TSmartDriver*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void Nop6(TSmartDriver*, std::uint32_t) {}
void Nop8(TSmartDriver*, const char*) {}
void Nop9(TSmartDriver*, std::uint32_t) {}
void Nop13(TSmartDriver*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void Nop14(TSmartDriver*) {}
void Nop16(TSmartDriver*, std::uint32_t, std::uint32_t) {}
void Nop17(TSmartDriver*, Ignored272) {}
// The host gets no value from this entry; 0 stands where the result word is not set.
std::uint32_t Nop21(TSmartDriver*, Variant16) { return 0; }

void GetCardInfoEntry(CardInfo* result, TSmartDriver*, std::uint8_t koshel) {
  GetCardInfo(result, koshel);
}

void TerminalUnsupported(void*, TSmartDriver*, const char*, const char*, std::uint32_t,
                                    std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
  throw EUnsupported(std::string("Не возможно выполнить эту операцию с данным видом терминала"_w));
}

void DiscountOperationEntry(DiscountResult* result, TSmartDriver*, std::uint8_t type_oper,
                                       std::uint8_t koshel, double kolvo, double summa, const char*,
                                       const char* card_text, const char*) {
  DiscountOperation(result, static_cast<char>(type_oper), koshel, kolvo, summa, ReadHostText(card_text));
}

void ForwardDiscountOperation(DiscountResult* result, TSmartDriver* self, std::uint8_t type_oper,
                                         std::uint8_t koshel, double kolvo, double summa, const char* text1,
                                         const char* text2) {
  // Through the table, so that whatever stands in entry 20 of this object answers; its failure comes back
  // here as a C++ exception, since this frame is the driver's own.
  EntryOf<entry::DiscountOperation>(self, kDiscountOperation)(result, self, type_oper, koshel, kolvo, summa,
                                                              text1, text2, nullptr);
}

void CashlessSaleEntry(CashlessResult* result, TSmartDriver* self, std::uint32_t, std::uint8_t koshel,
                                  double kolvo, double summa) {
  CashlessSale(result, self, koshel, kolvo, summa);
}

void CashlessReturnEntry(CashlessResult* result, TSmartDriver*, std::uint32_t, const char*,
                                    const char* number_card, const std::uint8_t*, std::int32_t,
                                    std::uint8_t koshel, double kolvo, double summa, std::uint32_t) {
  CashlessReturn(result, ReadHostText(number_card), koshel, kolvo, summa);
}

void OperationUnsupported(void*, TSmartDriver*, std::uint32_t, std::uint32_t, std::uint32_t) {
  throw EUnsupported(std::string("\"Вельтор\" не поддерживает данную операцию"_w));
}

void BlankCardInfo(CardInfo* result, TSmartDriver*, std::uint32_t, std::uint32_t) {
  RequireRecord(result);
  result->Flag = 255;
  result->CardHead.length = 0;
  result->CardTail.length = 0;
  std::memset(result->Value16, 0, sizeof result->Value16);
  result->ValidUntil = platform::Clock().now_as_date() + 10;
  result->Amount32 = result->Amount40 = result->Amount48 = result->Amount56 = 1000;
}

// An entry as the table holds it: the work behind its boundary, in the signature that the host's header
// gives its slot.
template <auto Work, typename Signature>
const void* Slot() {
  static_assert(std::is_same_v<decltype(Boundary<Work>::Entry), Signature>);
  return reinterpret_cast<const void*>(&Boundary<Work>::Entry);
}

// The destructor, then entries 0 to 21. An object points at entry 0.
const void* const kTable[1 + kSlotCount] = {
    Slot<&Destroy, entry::Destroy>(),
    Slot<&Abstract, entry::Abstract>(),                                 // 0
    Slot<&GetVersion, entry::GetVersion>(),                             // 1
    Slot<&Abstract, entry::Abstract>(),                                 // 2
    Slot<&Abstract, entry::Abstract>(),                                 // 3
    Slot<&Abstract, entry::Abstract>(),                                 // 4
    Slot<&Nop5, entry::Nop5>(),                                         // 5
    Slot<&Nop6, entry::Nop6>(),                                         // 6
    Slot<&GetCardInfoEntry, entry::GetCardInfo>(),                      // 7
    Slot<&Nop8, entry::Nop8>(),                                         // 8
    Slot<&Nop9, entry::Nop9>(),                                         // 9
    Slot<&TerminalUnsupported, entry::TerminalUnsupported>(),           // 10
    Slot<&ForwardDiscountOperation, entry::ForwardDiscountOperation>(),  // 11
    Slot<&CashlessSaleEntry, entry::CashlessSale>(),                    // 12
    Slot<&Nop13, entry::Nop13>(),                                       // 13
    Slot<&Nop14, entry::Nop14>(),                                       // 14
    Slot<&CashlessReturnEntry, entry::CashlessReturn>(),                // 15
    Slot<&Nop16, entry::Nop16>(),                                       // 16
    Slot<&Nop17, entry::Nop17>(),                                       // 17
    Slot<&OperationUnsupported, entry::OperationUnsupported>(),         // 18
    Slot<&BlankCardInfo, entry::BlankCardInfo>(),                       // 19
    Slot<&DiscountOperationEntry, entry::DiscountOperation>(),          // 20
    Slot<&Nop21, entry::Nop21>(),                                       // 21
};

}  // namespace

TSmartDriver* NewDriver() { return new TSmartDriver{&kTable[1]}; }

}  // namespace sd::driver
