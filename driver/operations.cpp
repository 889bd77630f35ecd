// The four card operations that reach a server: the discount operation, the cashless sale and return,
// and the card information query. Each prepares the host's record, logs its request and builds its frame,
// hands the frame to CallServer, keeps what the reply carries and fills the record from it.
#include "driver/operations.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <string>

#include "driver/number_text.h"
#include "driver/round_money.h"
#include "driver/server_state.h"
#include "exchange/call_server.h"
#include "exchange/codec.h"
#include "log/log_lines.h"
#include "log/operation_log.h"
#include "platform/clock.h"
#include "settings/link_settings.h"
#include "smartdriver/records.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"

namespace sd::driver {
namespace {

using namespace sd::literals;
using exchange::Bytes;
using log::LogLine;
using settings::LinkSettingsBlock;

constexpr std::string_view kDiscountTimeOut = "Не удалось получить скидку: TimeOut"_w;
constexpr std::string_view kDiscountFailure = "Не удалось получить скидку!"_w;
constexpr std::string_view kCashlessTimeOut = "Продажа б/н не проведена: TimeOut"_w;
constexpr std::string_view kCashlessFailure = "Неудачный обмен с терминалом!"_w;
constexpr std::string_view kServerCancelled = "Сервер \"Вельтор\" отменил операцию"_w;
constexpr std::string_view kNoRecord = "Не передан адрес записи для результата операции"_w;
constexpr std::string_view kQuantityRange = "Количество вне допустимых пределов: "_w;
constexpr std::string_view kSumRange = "Сумма вне допустимых пределов: "_w;

// The longest message a cashier is shown. A longer one (a dump of noise the server sent) is cut, and
// ends with the whole message's size, so that its extent is still told.
constexpr std::size_t kMessageLimit = 300;

std::string Shortened(const std::string& message) {
  if (message.size() <= kMessageLimit) return message;
  const std::string tail = "... (" + std::to_string(message.size()) + std::string(" байт)"_w);
  return message.substr(0, kMessageLimit - tail.size()) + tail;
}

// A cut message keeps the kind of failure it came with, so that a host still tells a failed exchange
// from any other failure.
template <typename Kind = void, typename... Others>
[[noreturn]] void ThrowShortened(const std::exception& e, const std::string& message) {
  if constexpr (std::is_void_v<Kind>) {
    throw Exception(message);
  } else {
    if (dynamic_cast<const Kind*>(&e) != nullptr) throw Kind(message);
    ThrowShortened<Others...>(e, message);
  }
}

[[noreturn]] void ThrowShortened(const std::exception& e, const std::string& message) {
  ThrowShortened<ECommunicationError, ETimeOut, EServerRefusal, EInvalidArgument, EFileFailure, void>(e, message);
}

// Runs an operation; a failure is logged with the very message the host is then shown, so that support
// sees in the log what the cashier saw. The line is lost, not raised, when the log cannot take it: the
// operation's own failure is what the host must get.
template <typename Work>
void Reported(Work&& work) {
  try {
    work();
  } catch (const std::exception& e) {
    const std::string message = Shortened(e.what());
    log::TryWriteLog(log::Line(LogLine::NotDone, message));
    if (message.size() < std::string_view(e.what()).size()) ThrowShortened(e, message);
    throw;
  }
}

// A quantity or sum that is no number at all is refused before anything else looks at it, whatever the
// operation does with it afterwards.
void RequireFinite(double kolvo, double summa) {
  if (!std::isfinite(kolvo)) throw EInvalidArgument(std::string(kQuantityRange) + FloatText(kolvo));
  if (!std::isfinite(summa)) throw EInvalidArgument(std::string(kSumRange) + FloatText(summa));
}

// Value × factor on the extended type, rounded to the nearest whole number with halves to the even one.
// A value that is not finite, or whose scaled value does not fit a signed 32-bit field, is refused before
// anything is built: sent as described it would reach the server as a meaningless number.
std::int32_t Scaled(double value, long double factor, std::string_view what) {
  const long double scaled = exchange::RoundHalfEven(static_cast<long double>(value) * factor);
  if (!std::isfinite(value) || scaled < std::numeric_limits<std::int32_t>::min() ||
      scaled > std::numeric_limits<std::int32_t>::max()) {
    std::string message(what);
    message += FloatText(value);
    throw EInvalidArgument(message);
  }
  return static_cast<std::int32_t>(scaled);
}

std::int32_t Thousandths(double kolvo) { return Scaled(kolvo, 1000, kQuantityRange); }
std::int32_t Hundredths(double summa) { return Scaled(summa, 100, kSumRange); }

// The unit price of a request must fit its signed 32-bit field as the sum's range does; cut to it, a
// small quantity of a large sum would reach the server as a wholly other price.
void RequirePriceFits(std::int32_t quantity, std::int32_t sum, double summa) {
  if (!exchange::UnitPriceFits(quantity, sum)) throw EInvalidArgument(std::string(kSumRange) + FloatText(summa));
}

std::string Text(std::string_view a) { return std::string(a); }

std::string Amounts(std::uint8_t koshel, double kolvo, double summa) {
  return " Koshel=" + std::to_string(koshel) + " Kolvo=" + FloatText(kolvo) + " Summa=" + FloatText(summa);
}

std::string CodeText(char type_oper) { return std::to_string(static_cast<unsigned char>(type_oper)); }

void PrepareCashless(CashlessResult* result) {
  result->Flag = 255;
  result->Byte1 = 0;
  result->NumberCard.length = 0;
}

// The request line and the frame, logged and built before anything is sent. Whatever kind of failure
// the build raises reaches the host as the general class with the same message; the subclass only says
// whether an argument or the log was at fault.
template <typename Build>
Bytes Request(Build&& build) {
  try {
    return build();
  } catch (const EConvertError& e) {
    throw EInvalidArgument(e.Message());
  } catch (const EInOutError& e) {
    throw EFileFailure(e.Message());
  } catch (const EInvalidArgument&) {
    throw;
  } catch (const Exception& e) {
    throw Exception(e.Message());
  }
}

enum class Fields { kNeeded, kNotNeeded };

// One exchange: the card of the last reply is forgotten as it starts, and what the reply carries is kept.
// An operation that takes amounts or a card from the reply fails with its failure message when the reply
// carries none, rather than fill its record from nothing.
void Exchange(const LinkSettingsBlock& link, std::int32_t port, Bytes frame, std::string_view timeout_message,
              std::string_view failure_message, Fields fields = Fields::kNeeded) {
  LastReply.ExchangeStarted();
  const exchange::DecodedReply reply =
      exchange::CallServer(link.IP, port, link.bWaitTimeOut, std::move(frame), timeout_message, failure_message);
  LastReply.Keep(reply);
  if (fields == Fields::kNeeded && !reply.HasFields) throw ECommunicationError(std::string(failure_message));
}

// One exchange with the cashless server, as the card query, the sale and the return all run it.
void CallCashless(const LinkSettingsBlock& link, Bytes frame) {
  Exchange(link, link.Portbn, std::move(frame), kCashlessTimeOut, kCashlessFailure);
}

// The amounts at the end of a cashless success line, as the record holds them.
std::string CashlessAmounts(const CashlessResult& r) {
  return " SummaSk=" + FloatText(r.SummaSk) + " PriceSk=" + FloatText(r.PriceSk) + " Skidka=" + FloatText(r.Skidka);
}

// The filling shared by the cashless sale and return.
void FillCashless(CashlessResult* result, double kolvo) {
  result->NumberCard.assign(exchange::CardNumberText(LastReply.CardNumber));
  const long double price = LastReply.DiscountedPrice;
  result->SummaSk = RoundMoney(2, price * kolvo / 100);
  result->PriceSk = RoundMoney(2, price / 100);
  result->Skidka = RoundMoney(2, static_cast<long double>(LastReply.DiscountTenths) / 10);
  if (LastReply.Approval == 0) throw EServerRefusal(Text(kServerCancelled));
}

}  // namespace

void RequireRecord(const void* record) {
  if (record == nullptr) throw EInvalidArgument(std::string(kNoRecord));
}

void GetCardInfo(CardInfo* result, std::uint8_t koshel) {
  const auto one_at_a_time = OneServerCallAtATime();
  const LinkSettingsBlock link = settings::LinkSettingsSnapshot();
  Reported([&] {
    RequireRecord(result);
    CallCashless(link, Request([&] {
                   if (log::LogEnabled()) log::WriteLog(log::Line(LogLine::CardInfo, std::to_string(koshel)));
                   Bytes frame;
                   exchange::BuildRequest(exchange::PacketType::kDiscount, koshel, 1, 1, CashlessCounter, frame);
                   return frame;
                 }));
    const std::string card = exchange::CardNumberText(LastReply.CardNumber);
    result->CardHead.assign(std::string_view(card).substr(0, 4));
    result->CardTail.assign(card.size() > 4 ? std::string_view(card).substr(4, 6) : std::string_view());
    result->ValidUntil = platform::Clock().now_as_date() + 10;
    result->Amount32 = result->Amount40 = result->Amount48 = result->Amount56 = 0;
  });
}

void DiscountOperation(DiscountResult* result, char type_oper, std::uint8_t koshel, double kolvo, double summa,
                       std::string_view card_text) {
  const auto one_at_a_time = OneServerCallAtATime();
  const LinkSettingsBlock link = settings::LinkSettingsSnapshot();
  Reported([&] {
    RequireRecord(result);
    result->Flag = 255;
    result->Byte4 = 0;
    result->NumberCard.length = 0;
    result->TypeOper = 0;
    result->Byte3 = 0;

    LogLine title;
    switch (type_oper) {
      case '-': title = LogLine::SaleStart; break;
      case 'M': title = LogLine::Discount; break;
      case '+': title = LogLine::SaleCancel; break;
      default: {
        // Sending the 50 zero bytes to the discount server could only end in a confusing outcome.
        std::string message(Text("Неизвестный код операции скидки: "_w));
        message += CodeText(type_oper);
        throw EInvalidArgument(message);
      }
    }

    log::WriteOperationStart();
    Bytes frame = Request([&] {
      if (log::LogEnabled()) log::WriteLog(log::Line(title) + CodeText(type_oper) + Amounts(koshel, kolvo, summa) + Text(" карта="_w) +
                    std::string(card_text));
      RequireFinite(kolvo, summa);
      const std::int32_t quantity = Thousandths(kolvo);
      Bytes built;
      if (type_oper == '+') {
        // The card of the last reply goes back unchanged on the wire: its text is the card's digits.
        const std::int64_t card = StrToInt64(exchange::CardNumberText(LastReply.CardNumber));
        exchange::BuildCancelRequest(koshel, quantity, DiscountCounter, card, built);
      } else {
        const std::int32_t sum = Hundredths(summa);
        RequirePriceFits(quantity, sum, summa);
        exchange::BuildRequest(type_oper == '-' ? exchange::PacketType::kSale : exchange::PacketType::kDiscount,
                               koshel, quantity, sum, DiscountCounter, built);
      }
      return built;
    });
    // A cancel takes nothing from its reply but the card it may carry, so any reply will do.
    Exchange(link, link.Port, std::move(frame), kDiscountTimeOut, kDiscountFailure,
             type_oper == '+' ? Fields::kNotNeeded : Fields::kNeeded);

    result->TypeOper = type_oper;
    result->NumberCard.assign(exchange::CardNumberText(LastReply.CardNumber));
    if (type_oper != '+') {
      const long double price = LastReply.DiscountedPrice;
      result->SummaSk = RoundMoney(2, price * kolvo / 100);
      result->Summa = summa;
      result->Price = RoundMoney(2, static_cast<long double>(summa) / kolvo);
      result->CosteSk = RoundMoney(2, price / 100);
      result->Skidka = RoundMoney(2, static_cast<long double>(LastReply.DiscountTenths) / 10);
    }
    if (log::LogEnabled()) log::TryWriteLog(log::Line(LogLine::DiscountDone) + CodeText(type_oper) +
                     Amounts(koshel, kolvo, summa) + " NumberCard=" + std::string(result->NumberCard.view()) +
                     " SummaSk=" + FloatText(result->SummaSk) + " CosteSk=" + FloatText(result->CosteSk) +
                     " Skidka=" + FloatText(result->Skidka));
  });
}

void CashlessSale(CashlessResult* result, TSmartDriver* self, std::uint8_t koshel, double kolvo, double summa) {
  {
    // Refused before the card road below, which a negative infinity would otherwise take.
    const auto one_at_a_time = OneServerCallAtATime();
    Reported([&] {
      RequireRecord(result);
      RequireFinite(kolvo, summa);
    });
  }
  PrepareCashless(result);
  if (static_cast<long double>(kolvo) < 0.001L) {
    // Entry 7 logs its own failure.
    CardInfo card{};
    EntryOf<entry::GetCardInfo>(self, kGetCardInfo)(&card, self, koshel);
    result->NumberCard.assign(std::string(card.CardHead.view()) + std::string(card.CardTail.view()));
    result->SummaSk = 0;
    result->PriceSk = 0;
    result->Skidka = 0;
    return;
  }

  // Only now: the card road above runs entry 7, which waits for its own turn.
  const auto one_at_a_time = OneServerCallAtATime();
  const LinkSettingsBlock link = settings::LinkSettingsSnapshot();
  Reported([&] {
    log::WriteOperationStart();
    CallCashless(link, Request([&] {
                   if (log::LogEnabled()) log::WriteLog(log::Line(LogLine::CashlessSale) + Amounts(koshel, kolvo, summa));
                   const std::int32_t quantity = Thousandths(kolvo);
                   const std::int32_t sum = Hundredths(summa);
                   RequirePriceFits(quantity, sum, summa);
                   Bytes frame;
                   exchange::BuildRequest(exchange::PacketType::kSale, koshel, quantity, sum, CashlessCounter, frame);
                   return frame;
                 }));
    FillCashless(result, kolvo);
    if (log::LogEnabled()) log::TryWriteLog(log::Line(LogLine::CashlessDone) + Amounts(koshel, kolvo, summa) + " NumberCard=" +
                     std::string(result->NumberCard.view()) + CashlessAmounts(*result));
  });
}

void CashlessReturn(CashlessResult* result, std::string_view number_card, std::uint8_t koshel, double kolvo,
                    double summa) {
  const auto one_at_a_time = OneServerCallAtATime();
  const LinkSettingsBlock link = settings::LinkSettingsSnapshot();
  Reported([&] {
    RequireRecord(result);
    PrepareCashless(result);
    log::WriteOperationStart();
    CallCashless(link, Request([&] {
                   if (log::LogEnabled()) log::WriteLog(log::Line(LogLine::CashlessReturn) + Amounts(koshel, kolvo, summa));
                   RequireFinite(kolvo, summa);
                   const std::int64_t card = StrToInt64(number_card);
                   Bytes frame;
                   exchange::BuildCancelRequest(koshel, Thousandths(kolvo), CashlessCounter, card, frame);
                   return frame;
                 }));
    FillCashless(result, kolvo);
    if (log::LogEnabled()) log::TryWriteLog(log::Line(LogLine::ReturnDone) + Amounts(koshel, kolvo, summa) + " NumberCard=" +
                     std::string(number_card) + CashlessAmounts(*result));
  });
}

}  // namespace sd::driver
