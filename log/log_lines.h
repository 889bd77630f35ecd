// Every line the driver writes to its operation log, listed once: the driver, the exchange thread and
// the reply decoder write through these names, and the log reader recognises lines by the same rows.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "smartdriver/cp1251.h"

// X(name, text, fields): the name, the text the line begins with (Windows-1251), and what follows the
// text; a row whose fields are empty is a whole line. The blank line that opens an operation spans two
// physical lines.
#define SD_LOG_LINES(X)                                                                                        \
  X(Loaded, "Драйвер загружен"_w, "")                                                                          \
  X(Blank, " \r\n"_w, "")                                                                                      \
  X(CardInfo, "Инфо по карте: Koshel="_w, "wallet")                                                            \
  X(SaleStart, "Старт продажи: TypeOper="_w, "operation code, Koshel=, Kolvo=, Summa=, карта=")                \
  X(Discount, "Запрос скидки: TypeOper="_w, "operation code, Koshel=, Kolvo=, Summa=, карта=")                 \
  X(SaleCancel, "Отмена продажи: TypeOper="_w, "operation code, Koshel=, Kolvo=, Summa=, карта=")              \
  X(CashlessSale, "Продажа б/н:"_w, " Koshel=, Kolvo=, Summa=")                                               \
  X(CashlessReturn, "Возврат б/н:"_w, " Koshel=, Kolvo=, Summa=")                                             \
  X(DiscountDone, "Операция ЗУЛ проведена: TypeOper="_w,                                                      \
    "operation code, Koshel=, Kolvo=, Summa=, NumberCard=, SummaSk=, CosteSk=, Skidka=")                       \
  X(CashlessDone, "Операция б/н проведена:"_w, " Koshel=, Kolvo=, Summa=, NumberCard=, SummaSk=, PriceSk=, Skidka=") \
  X(ReturnDone, "Операция возврат проведена:"_w,                                                              \
    " Koshel=, Kolvo=, Summa=, NumberCard=, SummaSk=, PriceSk=, Skidka=")                                      \
  X(NotDone, "Операция не проведена: "_w, "the message the cashier saw")                                     \
  X(Connecting, "[СВЯЗЬ] Соединение... (IP "_w, "host; Порт port")                                           \
  X(Connected, "[СВЯЗЬ] Соединение установлено"_w, "")                                                         \
  X(Sent, "[СВЯЗЬ] Пакет отправлен ("_w, "count байт)")                                                       \
  X(Received, "[СВЯЗЬ] Пакет принят ("_w, "count байт)")                                                       \
  X(Dump, "[СВЯЗЬ] данные:"_w, "hex dump of the frame")                                                      \
  X(BadChecksum, "[СВЯЗЬ] Неверная контрольная сумма входящего пакета ("_w, "computed<>carried) DATA: dump")  \
  X(BadData, "[СВЯЗЬ]Ошибка в принятых данных: "_w, "reason")                                                \
  X(Disconnected, "[СВЯЗЬ] Отключение от сервера"_w, "")                                                        \
  X(LinkFailure, "[СВЯЗЬ] Ошибка связи с сервером: "_w, "the failure's message")

namespace sd::log {

enum class LogLine {
#define SD_LOG_LINE_ENUM(name, text, fields) name,
  SD_LOG_LINES(SD_LOG_LINE_ENUM)
#undef SD_LOG_LINE_ENUM
};

struct LogLineRow {
  LogLine line;
  std::string_view name;
  std::string_view text;    // Windows-1251
  std::string_view fields;  // empty: the text is the whole line
};

namespace detail {
using namespace sd::literals;
inline constexpr LogLineRow kRows[] = {
#define SD_LOG_LINE_ROW(name, text, fields) {LogLine::name, #name, text, fields},
    SD_LOG_LINES(SD_LOG_LINE_ROW)
#undef SD_LOG_LINE_ROW
};
}  // namespace detail

inline constexpr std::span<const LogLineRow> kLogLines{detail::kRows};

// The text of a line, as the driver writes it (Windows-1251).
constexpr std::string_view LineText(LogLine line) { return detail::kRows[static_cast<int>(line)].text; }

// A line as the driver writes it: the row's text and what follows it.
inline std::string Line(LogLine line, std::string_view fields = {}) {
  std::string text(LineText(line));
  text += fields;
  return text;
}

// The codec raises its rejections with these texts, and the thread logs them after "[СВЯЗЬ] " or
// "[СВЯЗЬ]"; a link failure's text is also the message the cashier sees.
constexpr std::string_view ChecksumRejection() { return LineText(LogLine::BadChecksum).substr(8); }
constexpr std::string_view DataRejection() { return LineText(LogLine::BadData).substr(7); }
constexpr std::string_view LinkFailurePrefix() { return LineText(LogLine::LinkFailure).substr(8); }

}  // namespace sd::log
