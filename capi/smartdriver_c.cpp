// The flat C interface: one loaded driver per handle, each entry called through the object's table with
// the host's side of the contract, and every failure turned into a return code and a message.
#include "smartdriver/smartdriver_c.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "platform/driver_library.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/entries.h"
#include "smartdriver/errors.h"
#include "smartdriver/host_text.h"
#include "smartdriver/records.h"

// The C declarations of the records must lie exactly over the SDK's: every field where its row places
// it, with the SDK field's size, and every record of the SDK's size.
#define SD_SAME_FIELD(record, name, offset, kind, count)                      \
  static_assert(offsetof(Sd##record, name) == (offset) &&                     \
                sizeof(Sd##record::name) == sizeof(sd::record::name));
#define SD_SAME_RECORD(record, FIELDS, size) \
  FIELDS(SD_SAME_FIELD, record) static_assert(sizeof(Sd##record) == sizeof(sd::record));
SD_RECORDS(SD_SAME_RECORD)
#undef SD_SAME_RECORD
#undef SD_SAME_FIELD

struct SdDriver {
  sd::platform::DriverLibrary library;
  sd::TSmartDriver* object = nullptr;
  int encoding = SD_UTF8;
};

namespace {

// Cuts a UTF-8 text to at most `limit` bytes without leaving half a character at the end.
std::size_t Utf8Cut(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

// Copies a text in the handle's encoding into the caller's buffer, zero-terminated and cut to fit.
void CopyOut(std::string_view cp1251, int encoding, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  const std::string text = encoding == SD_UTF8 ? sd::text::ToUtf8(cp1251) : std::string(cp1251);
  const std::size_t n = encoding == SD_UTF8 ? Utf8Cut(text, size - 1) : std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

std::string In(const char* text, int encoding) {
  if (text == nullptr) return {};
  return encoding == SD_UTF8 ? sd::text::FromUtf8(text) : std::string(text);
}

int EncodingOf(const SdDriver* driver) { return driver != nullptr ? driver->encoding : SD_UTF8; }

// The return code of each class the driver raises a failure with, one code a line; the classes are
// siblings, so their order does not matter.
#define SD_FAILURE_CODES(XX)                                                                        \
  XX(EServerRefusal, SD_EREFUSED)                                                                   \
  XX(ETimeOut, SD_ETIMEOUT)                                                                         \
  XX(ECommunicationError, SD_ECOMMUNICATION)                                                        \
  XX(EInvalidArgument, SD_EARGUMENT) XX(EConvertError, SD_EARGUMENT) XX(ERangeError, SD_EARGUMENT) \
  XX(EInOutError, SD_EIO) XX(EFileFailure, SD_EIO)                                                  \
  XX(EAbstractError, SD_ENOTSUPPORTED) XX(EUnsupported, SD_ENOTSUPPORTED)
#define SD_CATCH_FAILURE(error, code) catch (const sd::error&) { return code; }

// The return code of the failure being handled: its kind, as the class the driver raised it with names it.
int CurrentFailureCode() {
  try {
    throw;
  }
  SD_FAILURE_CODES(SD_CATCH_FAILURE)
  catch (const std::exception&) {
    return SD_EOTHER;
  }
  catch (...) {
    return SD_EUNKNOWN;
  }
}
#undef SD_CATCH_FAILURE
#undef SD_FAILURE_CODES

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// Why a wallet cannot be sent, or the empty text.
std::string WalletProblem(int wallet) {
  if (wallet >= 0 && wallet <= 255) return {};
  return "wallet " + std::to_string(wallet) + " is outside 0..255";
}

// Why amounts cannot be sent as the request's signed 32-bit fields (thousandths of the quantity,
// hundredths of the sum and, when `unit_price` is sent, of sum / quantity), or the empty text. The
// rounding is the driver's: to the nearest, halves to the even one.
std::string AmountProblem(double quantity, double sum, bool unit_price) {
  constexpr long double kFieldMax = 2147483647.0L;
  if (!std::isfinite(quantity)) return "quantity " + Number(quantity) + " is not a finite number";
  if (!std::isfinite(sum)) return "sum " + Number(sum) + " is not a finite number";
  if (quantity < 0) return "quantity " + Number(quantity) + " is negative";
  if (sum < 0) return "sum " + Number(sum) + " is negative";
  const long double thousandths = std::nearbyint(static_cast<long double>(quantity) * 1000);
  const long double hundredths = std::nearbyint(static_cast<long double>(sum) * 100);
  if (thousandths > kFieldMax) return "quantity " + Number(quantity) + " is above 2147483.647";
  if (hundredths > kFieldMax) return "sum " + Number(sum) + " is above 21474836.47";
  if (!unit_price) return {};
  if (thousandths < 1) return "quantity " + Number(quantity) + " is below 0.001, and a unit price is sent";
  if (std::nearbyint(hundredths / thousandths * 1000) > kFieldMax)
    return "unit price " + Number(sum) + " / " + Number(quantity) + " is above 21474836.47";
  return {};
}

// A text argument in the driver's code page, or why it cannot be one: a UTF-8 text with a character that
// Windows-1251 lacks would reach the driver altered.
std::string TextProblem(std::string_view what, const char* text, int encoding, std::string* cp1251) {
  *cp1251 = In(text, encoding);
  if (encoding == SD_UTF8 && text != nullptr && sd::text::ToUtf8(*cp1251) != text)
    return std::string(what) + " has a character that Windows-1251 cannot hold";
  return {};
}

// A card number as the wire carries it: one to ten decimal digits.
std::string CardNumberProblem(const char* card_number, int encoding, std::string* cp1251) {
  if (card_number == nullptr) return "no card number";
  std::string problem = TextProblem("card number", card_number, encoding, cp1251);
  if (!problem.empty()) return problem;
  const bool digits = std::all_of(cp1251->begin(), cp1251->end(), [](char c) { return c >= '0' && c <= '9'; });
  if (cp1251->empty() || cp1251->size() > 10 || !digits)
    return "card number \"" + std::string(card_number) + "\" is not 1 to 10 digits";
  return {};
}

std::string OperationProblem(char type_oper) {
  if (type_oper == '-' || type_oper == 'M' || type_oper == '+') return {};
  return "operation code " + std::to_string(static_cast<unsigned char>(type_oper)) + " is none of '-', 'M', '+'";
}

// The first of the problems found, or the empty text.
std::string FirstProblem(std::initializer_list<std::string> problems) {
  for (const std::string& problem : problems)
    if (!problem.empty()) return problem;
  return {};
}

// Runs one call of the driver: the record cleared first, arguments with a `problem` refused before the
// driver is called, whatever the driver raises caught and reported with the code of its kind.
template <typename Record, typename Call>
int Invoke(SdDriver* driver, Record* record, char* message, std::size_t message_size, const std::string& problem,
           Call&& call) {
  CopyOut({}, SD_CP1251, message, message_size);
  if (driver == nullptr || record == nullptr) {
    CopyOut("no driver or no record", SD_CP1251, message, message_size);
    return SD_EARGUMENT;
  }
  std::memset(static_cast<void*>(record), 0, sizeof *record);
  if (!problem.empty()) {
    CopyOut(problem, SD_CP1251, message, message_size);
    return SD_EARGUMENT;
  }
  try {
    call(driver->object, reinterpret_cast<void*>(record));
    return SD_OK;
  } catch (const std::exception& e) {
    CopyOut(e.what(), driver->encoding, message, message_size);
    return CurrentFailureCode();
  } catch (...) {
    CopyOut("an exception of an unknown kind", SD_CP1251, message, message_size);
    return SD_EUNKNOWN;
  }
}

}  // namespace

extern "C" {

int sd_open(const char* library_path, int encoding, SdDriver** driver, char* message, size_t message_size) {
  CopyOut({}, SD_CP1251, message, message_size);
  if (driver != nullptr) *driver = nullptr;
  if (library_path == nullptr || driver == nullptr || (encoding != SD_UTF8 && encoding != SD_CP1251)) {
    CopyOut("no library path, no place for the handle, or an unknown encoding", SD_CP1251, message,
            message_size);
    return SD_EARGUMENT;
  }
  // Everything that can raise here, the system's own errors included, ends in a return code. The
  // library is unloaded only after the handler: the exception object's code lives in the library.
  SdDriver* opened = nullptr;
  bool failed = false;
  try {
    sd::platform::DriverLibrary library;
    std::string why;
    if (!library.Load(library_path, &why)) {
      CopyOut(why, SD_CP1251, message, message_size);
      return SD_ELOAD;
    }
    opened = new SdDriver{std::move(library), nullptr, encoding};
    opened->object = opened->library.GetDriver();
  } catch (const std::exception& e) {
    failed = true;
    CopyOut(e.what(), opened != nullptr ? encoding : SD_CP1251, message, message_size);
  } catch (...) {
    failed = true;
    CopyOut("an exception of an unknown kind", SD_CP1251, message, message_size);
  }
  if (failed) {
    delete opened;
    return SD_ELOAD;
  }
  *driver = opened;
  return SD_OK;
}

void sd_close(SdDriver* driver) {
  if (driver == nullptr) return;
  if (driver->object != nullptr) {
    try {
      sd::DestroyOf(driver->object)(driver->object);
    } catch (...) {
      // Nothing a host could do about a destructor that raises; the library is unloaded all the same.
    }
  }
  delete driver;  // and with it the library's load
}

const char* sd_error_name(int code) {
  switch (code) {
    case SD_OK: return "ok";
    case SD_EUNKNOWN: return "unknown";
    case SD_ELOAD: return "load";
    case SD_EARGUMENT: return "argument";
    case SD_EREFUSED: return "refused";
    case SD_ETIMEOUT: return "time-out";
    case SD_ECOMMUNICATION: return "communication";
    case SD_EIO: return "io";
    case SD_ENOTSUPPORTED: return "not-supported";
    default: return "other";
  }
}

int sd_version(SdDriver* driver, char* text, size_t text_size, char* message, size_t message_size) {
  sd::VersionText version;
  const int code = Invoke(driver, &version, message, message_size, {}, [](sd::TSmartDriver* self, void* r) {
    sd::EntryOf<sd::entry::GetVersion>(self, sd::kGetVersion)(static_cast<sd::VersionText*>(r), self);
  });
  if (code != SD_OK) return code;
  if (text == nullptr || text_size <= version.view().size()) {
    CopyOut("the version buffer is too small", SD_CP1251, message, message_size);
    return SD_EARGUMENT;
  }
  CopyOut(version.view(), driver->encoding, text, text_size);
  return SD_OK;
}

int sd_card_info(SdDriver* driver, int wallet, SdCardInfo* record, char* message, size_t message_size) {
  return Invoke(driver, record, message, message_size, WalletProblem(wallet), [&](sd::TSmartDriver* self, void* r) {
    sd::EntryOf<sd::entry::GetCardInfo>(self, sd::kGetCardInfo)(static_cast<sd::CardInfo*>(r), self,
                                                                static_cast<std::uint8_t>(wallet));
  });
}

int sd_blank_card_info(SdDriver* driver, SdCardInfo* record, char* message, size_t message_size) {
  return Invoke(driver, record, message, message_size, {}, [&](sd::TSmartDriver* self, void* r) {
    sd::EntryOf<sd::entry::BlankCardInfo>(self, sd::kBlankCardInfo)(static_cast<sd::CardInfo*>(r), self, 0, 0);
  });
}

int sd_discount(SdDriver* driver, char type_oper, int wallet, double quantity, double sum, const char* card_text,
                SdDiscountResult* record, char* message, size_t message_size) {
  std::string card_cp1251;
  const std::string problem =
      FirstProblem({OperationProblem(type_oper), WalletProblem(wallet), AmountProblem(quantity, sum, type_oper != '+'),
                    TextProblem("card text", card_text, EncodingOf(driver), &card_cp1251)});
  return Invoke(driver, record, message, message_size, problem, [&](sd::TSmartDriver* self, void* r) {
    const sd::HostText card(card_cp1251);
    sd::EntryOf<sd::entry::DiscountOperation>(self, sd::kDiscountOperation)(
        static_cast<sd::DiscountResult*>(r), self, static_cast<std::uint8_t>(type_oper),
        static_cast<std::uint8_t>(wallet), quantity, sum, nullptr, card.arg(), nullptr);
  });
}

int sd_forward_discount(SdDriver* driver, char type_oper, int wallet, double quantity, double sum, const char* text1,
                        const char* text2, SdDiscountResult* record, char* message, size_t message_size) {
  std::string first_cp1251, second_cp1251;
  const std::string problem = FirstProblem(
      {OperationProblem(type_oper), WalletProblem(wallet), AmountProblem(quantity, sum, type_oper != '+'),
       TextProblem("text1", text1, EncodingOf(driver), &first_cp1251),
       TextProblem("text2", text2, EncodingOf(driver), &second_cp1251)});
  return Invoke(driver, record, message, message_size, problem, [&](sd::TSmartDriver* self, void* r) {
    const sd::HostText first(first_cp1251), second(second_cp1251);
    sd::EntryOf<sd::entry::ForwardDiscountOperation>(self, sd::kForwardDiscountOperation)(
        static_cast<sd::DiscountResult*>(r), self, static_cast<std::uint8_t>(type_oper),
        static_cast<std::uint8_t>(wallet), quantity, sum, first.arg(), second.arg());
  });
}

int sd_cashless_sale(SdDriver* driver, int wallet, double quantity, double sum, SdCashlessResult* record,
                     char* message, size_t message_size) {
  // Below 0.001 the driver asks for the card instead of paying, and sends no unit price.
  const std::string problem =
      FirstProblem({WalletProblem(wallet), AmountProblem(quantity, sum, !(quantity < 0.001))});
  return Invoke(driver, record, message, message_size, problem, [&](sd::TSmartDriver* self, void* r) {
    sd::EntryOf<sd::entry::CashlessSale>(self, sd::kCashlessSale)(static_cast<sd::CashlessResult*>(r), self, 0,
                                                                  static_cast<std::uint8_t>(wallet), quantity, sum);
  });
}

int sd_cashless_return(SdDriver* driver, const char* card_number, int wallet, double quantity, double sum,
                       SdCashlessResult* record, char* message, size_t message_size) {
  std::string card_cp1251;
  const std::string problem = FirstProblem({CardNumberProblem(card_number, EncodingOf(driver), &card_cp1251),
                                            WalletProblem(wallet), AmountProblem(quantity, sum, false)});
  return Invoke(driver, record, message, message_size, problem, [&](sd::TSmartDriver* self, void* r) {
    const sd::HostText card(card_cp1251);
    // The ignored byte array goes as a host passes an empty one: no elements, highest index -1.
    sd::EntryOf<sd::entry::CashlessReturn>(self, sd::kCashlessReturn)(static_cast<sd::CashlessResult*>(r), self, 0,
                                                                      nullptr, card.arg(), nullptr, -1,
                                                                      static_cast<std::uint8_t>(wallet), quantity,
                                                                      sum, 0);
  });
}

}  // extern "C"
