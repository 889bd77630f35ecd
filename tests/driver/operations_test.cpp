// The card operations end to end against the emulator on loopback: the records field by field, the
// requests on the wire, the counters, and the log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "driver/server_state.h"
#include "exchange/codec.h"
#include "tests/driver/operation_fixture.h"

namespace sd {
namespace {

using emulator::ReplyPlan;
using emulator::Scenario;

class Operations : public testing::OperationTest {
 protected:
  void Reply(std::int32_t price, std::uint8_t discount, std::int32_t approval = 1) {
    Scenario s;
    s.defaults.price = price;
    s.defaults.discount = discount;
    s.defaults.approval = approval;
    emulator_.SetScenario(s);
  }
  // Whether the log holds the line, once the exchange threads have written theirs.
  bool Logged(const std::string& text) {
    EXPECT_TRUE(exchange::WaitForExchangeThreads(std::chrono::seconds(3)));
    const auto texts = LogTexts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }
  emulator::RequestInfo LastRequest() {
    auto all = emulator_.Exchanges();
    EXPECT_FALSE(all.empty());
    return all.empty() ? emulator::RequestInfo{} : all.back().request;
  }
};

TEST_F(Operations, DiscountRequestFillsTheRecordFromTheReply) {
  Reply(4500, 100);
  DiscountResult r;
  std::memset(&r, 0x33, sizeof r);
  ASSERT_EQ(Discount(r, 'M', 1, 2, 100, "0012"), "");
  EXPECT_EQ(r.Flag, 255);
  EXPECT_EQ(r.TypeOper, 'M');
  EXPECT_EQ(r.Byte3, 0);
  EXPECT_EQ(r.Byte4, 0);
  EXPECT_EQ(r.Unused1, 0x33);
  EXPECT_EQ(std::string(r.NumberCard.view()), "0012345678");
  EXPECT_EQ(r.SummaSk, 90);
  EXPECT_EQ(r.Summa, 100);
  EXPECT_EQ(r.Price, 50);
  EXPECT_EQ(r.CosteSk, 45);
  EXPECT_EQ(r.Skidka, 10);
  const auto req = LastRequest();
  EXPECT_EQ(req.type, 3);
  EXPECT_EQ(req.wallet, 1);
  EXPECT_EQ(req.quantity, 2000);
  EXPECT_EQ(req.unit_price.value_or(-1), 5000);
  EXPECT_TRUE(req.crc_ok);
}

TEST_F(Operations, AmountsRoundAsTheHostExpects) {
  const struct {
    double qty, sum;
    std::int32_t price;
    std::uint8_t discount;
    std::int32_t wire_qty, wire_price;
    double summa_sk, price_out, coste_sk, skidka;
  } cases[] = {
      {1, 99.99, 8999, 100, 1000, 9999, 89.99, 99.99, 89.99, 10},
      {0.0625, 1, 1000, 255, 62, 1613, 0.63, 16, 10, 25.5},
      {0.1875, 0.375, 1000, 0, 188, 202, 1.88, 2, 10, 0},
      {3, 0.125, 1, 1, 3000, 4, 0.03, 0.04, 0.01, 0.1},
  };
  for (const auto& c : cases) {
    Reply(c.price, c.discount);
    DiscountResult r{};
    ASSERT_EQ(Discount(r, '-', 4, c.qty, c.sum), "") << c.qty;
    const auto req = LastRequest();
    EXPECT_EQ(req.type, 1);
    EXPECT_EQ(req.quantity, c.wire_qty) << c.qty;
    EXPECT_EQ(req.unit_price.value_or(-1), c.wire_price) << c.qty;
    EXPECT_DOUBLE_EQ(r.SummaSk, c.summa_sk) << c.qty;
    EXPECT_DOUBLE_EQ(r.Price, c.price_out) << c.qty;
    EXPECT_DOUBLE_EQ(r.CosteSk, c.coste_sk) << c.qty;
    EXPECT_DOUBLE_EQ(r.Skidka, c.skidka) << c.qty;
  }
}

TEST_F(Operations, SaleCancelCarriesTheCardOfTheLastReplyUnchanged) {
  Reply(4500, 100);
  DiscountResult m{};
  ASSERT_EQ(Discount(m, 'M', 1, 2, 100), "");
  DiscountResult cancel;
  cancel.SummaSk = 1.5;
  cancel.Summa = 2.5;
  cancel.Price = 3.5;
  cancel.CosteSk = 4.5;
  cancel.Skidka = 5.5;
  ASSERT_EQ(Discount(cancel, '+', 1, 2, 100, "x"), "");
  const auto req = LastRequest();
  EXPECT_EQ(req.type, 2);
  EXPECT_EQ(req.quantity, 2000);
  EXPECT_EQ(req.card.value_or(-1), 0x0012345678);
  EXPECT_EQ(cancel.TypeOper, '+');
  EXPECT_EQ(std::string(cancel.NumberCard.view()), "0012345678");
  EXPECT_EQ(cancel.SummaSk, 1.5) << "a cancel leaves the amounts as the host passed them";
  EXPECT_EQ(cancel.Skidka, 5.5);
  EXPECT_TRUE(Logged("Операция ЗУЛ проведена: TypeOper=43 Koshel=1 Kolvo=2 Summa=100 NumberCard=0012345678 "
                     "SummaSk=1,5 CosteSk=4,5 Skidka=5,5"));
}

TEST_F(Operations, FirstCancelAfterLoadSendsCardZero) {
  driver::LastReply = driver::LastReplyState{};
  DiscountResult r{};
  ASSERT_EQ(Discount(r, '+', 1, 1, 0), "");
  EXPECT_EQ(LastRequest().card.value_or(-1), 0);
}

TEST_F(Operations, ValuesTheWireCannotCarryAreRefusedBeforeAnythingIsSent) {
  const struct {
    char op;
    double qty, sum;
    const char* message;
  } cases[] = {
      {'M', std::numeric_limits<double>::quiet_NaN(), 1, "Количество вне допустимых пределов: NAN"},
      {'-', 3e6, 1, "Количество вне допустимых пределов: 3000000"},
      {'M', 1, 3e7, "Сумма вне допустимых пределов: 30000000"},
      {'+', std::numeric_limits<double>::infinity(), 1, "Количество вне допустимых пределов: INF"},
      {'M', 0.0004, 1, "Floating point division by zero"},
      {'X', 1, 1, "Неизвестный код операции скидки: 88"},
      // A unit price of 2.5e9 hundredths would wrap to a negative one.
      {'M', 0.001, 25000, "Сумма вне допустимых пределов: 25000"},
      {'+', 1, std::numeric_limits<double>::quiet_NaN(), "Сумма вне допустимых пределов: NAN"},
  };
  for (const auto& c : cases) {
    const std::int32_t counter = driver::DiscountCounter;
    DiscountResult r;
    std::memset(&r, 0x44, sizeof r);
    EXPECT_EQ(Discount(r, c.op, 1, c.qty, c.sum), c.message);
    EXPECT_EQ(driver::DiscountCounter, counter) << c.message;
    EXPECT_EQ(r.Flag, 255);
    EXPECT_EQ(r.TypeOper, 0);
    EXPECT_EQ(r.NumberCard.length, 0);
    EXPECT_EQ(LogTexts().back(), std::string("Операция не проведена: ") + c.message);
  }
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* card;  // nullptr for a sale
    double qty, sum;
    const char* message;
  } cashless[] = {
      {nullptr, -inf, 10, "Количество вне допустимых пределов: -INF"},
      {nullptr, 0.001, 25000, "Сумма вне допустимых пределов: 25000"},
      {"0012345678", 1, inf, "Сумма вне допустимых пределов: INF"},
      // Eleven digits do not fit the card field: cut, they would name another card.
      {"99999999999", 1, 10, "Номер карты длиннее 10 цифр: 99999999999"},
      {"0099999999999", 1, 10, "Номер карты длиннее 10 цифр: 99999999999"},
  };
  for (const auto& c : cashless) {
    const std::int32_t counter = driver::CashlessCounter;
    CashlessResult r{};
    EXPECT_EQ(c.card ? Return(r, c.card, 1, c.qty, c.sum) : Sale(r, 1, c.qty, c.sum), c.message);
    EXPECT_EQ(driver::CashlessCounter, counter) << c.message;
    EXPECT_EQ(LogTexts().back(), std::string("Операция не проведена: ") + c.message);
  }
  EXPECT_TRUE(emulator_.Exchanges().empty());
}

TEST_F(Operations, EveryEntryThatFillsARecordRefusesNoneBeforeAnythingIsSent) {
  const std::string refused = "Не передан адрес записи для результата операции";
  HostText card("0012345678");
  const std::function<void()> calls[] = {
      [&] { EntryOf<entry::GetVersion>(driver_, kGetVersion)(nullptr, driver_); },
      [&] { EntryOf<entry::GetCardInfo>(driver_, kGetCardInfo)(nullptr, driver_, 1); },
      [&] {
        EntryOf<entry::ForwardDiscountOperation>(driver_, kForwardDiscountOperation)(nullptr, driver_, 'M', 1, 1, 10,
                                                                                     nullptr, nullptr);
      },
      [&] { EntryOf<entry::CashlessSale>(driver_, kCashlessSale)(nullptr, driver_, 0, 1, 1, 10); },
      [&] { EntryOf<entry::CashlessSale>(driver_, kCashlessSale)(nullptr, driver_, 0, 1, 0, 10); },
      [&] {
        EntryOf<entry::CashlessReturn>(driver_, kCashlessReturn)(nullptr, driver_, 0, nullptr, card.arg(), nullptr,
                                                                 -1, 1, 1, 10, 0);
      },
      [&] { EntryOf<entry::BlankCardInfo>(driver_, kBlankCardInfo)(nullptr, driver_, 0, 0); },
      [&] {
        EntryOf<entry::DiscountOperation>(driver_, kDiscountOperation)(nullptr, driver_, '+', 1, 1, 10, nullptr,
                                                                       nullptr, nullptr);
      },
  };
  const std::int32_t counters = driver::DiscountCounter + driver::CashlessCounter;
  for (const auto& call : calls) EXPECT_EQ(Call(call), refused);
  EXPECT_TRUE(emulator_.Exchanges().empty());
  EXPECT_EQ(driver::DiscountCounter + driver::CashlessCounter, counters);
}

TEST_F(Operations, HostTextsCannotWriteALineOfTheirOwn) {
  DiscountResult r{};
  ASSERT_EQ(Discount(r, '-', 1, 2, 100, "x\r\n08.12.2026 13:56:07 - forged\x7F"), "");
  EXPECT_TRUE(Logged("Старт продажи: TypeOper=45 Koshel=1 Kolvo=2 Summa=100 карта=x\\r\\n08.12.2026 13:56:07 - "
                     "forged\\x7F"));
}

TEST_F(Operations, SuccessfulExchangeLogsItsLinesInOrder) {
  Reply(4500, 100);
  DiscountResult r{};
  ASSERT_EQ(Discount(r, '-', 1, 2, 100, "card"), "");
  ASSERT_TRUE(exchange::WaitForExchangeThreads(std::chrono::seconds(3)));
  auto texts = LogTexts();
  ASSERT_EQ(texts.size(), 11u);
  const std::string port = std::to_string(emulator_.DiscountPort());
  const std::vector<std::string> head = {
      " ",
      "",
      "Старт продажи: TypeOper=45 Koshel=1 Kolvo=2 Summa=100 карта=card",
      "[СВЯЗЬ] Соединение... (IP 127.0.0.1; Порт " + port,
      "[СВЯЗЬ] Соединение установлено",
      // 18 bytes, and one more for each byte that the counter or the checksum makes stuffed.
      "[СВЯЗЬ] Пакет отправлен (" + std::to_string(LastRequest().raw.size()) + " байт)",
  };
  for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(texts[i], head[i]) << i;
  EXPECT_EQ(texts[6].rfind("[СВЯЗЬ] данные:01 01 ", 0), 0u) << texts[6];
  EXPECT_EQ(texts[6].back(), ' ');
  EXPECT_EQ(texts[7], "[СВЯЗЬ] Пакет принят (" + std::to_string(emulator_.Exchanges().back().reply.size()) + " байт)");
  // The disconnect line may come before or after the success line: the operation resumes first.
  std::vector<std::string> tail(texts.begin() + 9, texts.end());
  std::sort(tail.begin(), tail.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "[СВЯЗЬ] Отключение от сервера",
                      "Операция ЗУЛ проведена: TypeOper=45 Koshel=1 Kolvo=2 Summa=100 NumberCard=0012345678 "
                      "SummaSk=90 CosteSk=45 Skidka=10",
                  }));
}

TEST_F(Operations, CashlessSaleFillsTheRecordAndLogsItsLine) {
  Reply(4750, 50);
  CashlessResult r;
  std::memset(&r, 0x22, sizeof r);
  ASSERT_EQ(Sale(r, 2, 3, 150), "");
  EXPECT_EQ(r.Flag, 255);
  EXPECT_EQ(r.Byte1, 0);
  EXPECT_EQ(r.Unused2[0], 0x22);
  EXPECT_EQ(std::string(r.NumberCard.view()), "0012345678");
  EXPECT_EQ(r.SummaSk, 142.5);
  EXPECT_EQ(r.PriceSk, 47.5);
  EXPECT_EQ(r.Skidka, 5);
  EXPECT_EQ(LastRequest().type, 1);
  EXPECT_TRUE(Logged("Операция б/н проведена: Koshel=2 Kolvo=3 Summa=150 NumberCard=0012345678 SummaSk=142,5 "
                     "PriceSk=47,5 Skidka=5"));
}

TEST_F(Operations, CashlessSaleBelowOneThousandthReadsTheCardInstead) {
  Reply(4750, 50);
  for (double qty : {0.0, -1.0, 0.0009}) {
    CashlessResult r{};
    r.SummaSk = 9;
    ASSERT_EQ(Sale(r, 5, qty, 10), "");
    EXPECT_EQ(std::string(r.NumberCard.view()), "0012345678");
    EXPECT_EQ(r.SummaSk, 0);
    EXPECT_EQ(LastRequest().type, 3);
    EXPECT_EQ(LastRequest().quantity, 1);
  }
  CashlessResult r{};
  ASSERT_EQ(Sale(r, 5, 0.001, 10), "");
  EXPECT_EQ(LastRequest().type, 1);
  EXPECT_EQ(LastRequest().quantity, 1);
  ASSERT_TRUE(exchange::WaitForExchangeThreads(std::chrono::seconds(3)));
  const auto texts = LogTexts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Инфо по карте: Koshel=5"), 3);
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                          [](const std::string& t) { return t.rfind("Продажа б/н: Koshel=", 0) == 0; }),
            1);
}

TEST_F(Operations, RefusedCashlessSaleRaisesWithTheRecordFilled) {
  Reply(4750, 50, 0);
  CashlessResult r{};
  EXPECT_EQ(Sale(r, 2, 3, 150), "Сервер \"Вельтор\" отменил операцию");
  EXPECT_EQ(std::string(r.NumberCard.view()), "0012345678");
  EXPECT_EQ(r.SummaSk, 142.5);
  ASSERT_TRUE(exchange::WaitForExchangeThreads(std::chrono::seconds(3)));
  const auto texts = LogTexts();
  for (const auto& t : texts) EXPECT_EQ(t.find("Операция б/н проведена"), std::string::npos);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Операция не проведена: Сервер \"Вельтор\" отменил операцию"),
            texts.end());
}

TEST_F(Operations, ReturnSendsTheDecimalCardAndLogsItAsPassed) {
  Reply(4750, 50);
  CashlessResult r{};
  ASSERT_EQ(Return(r, "0012345678", 3, 1, 47.5), "");
  const auto req = LastRequest();
  EXPECT_EQ(req.type, 2);
  EXPECT_EQ(req.card.value_or(-1), 0x12345678);
  EXPECT_EQ(std::string(r.NumberCard.view()), "0012345678") << "the emulator answers with the card it was sent";
  EXPECT_TRUE(Logged("Операция возврат проведена: Koshel=3 Kolvo=1 Summa=47,5 NumberCard=0012345678 SummaSk=47,5 "
                     "PriceSk=47,5 Skidka=5"));

  // Ten digits are as many as the card field holds.
  ASSERT_EQ(Return(r, "9999999999", 3, 1, 47.5), "");
  EXPECT_EQ(LastRequest().card.value_or(-1), 0x9999999999);

  const std::int32_t counter = driver::CashlessCounter;
  const std::size_t sent = emulator_.Exchanges().size();
  EXPECT_EQ(Return(r, "12AB", 3, 1, 47.5), "'12AB' is not a valid integer value");
  EXPECT_EQ(driver::CashlessCounter, counter);
  EXPECT_EQ(emulator_.Exchanges().size(), sent);
  EXPECT_EQ(r.NumberCard.length, 0);
}

TEST_F(Operations, CardQueryFillsBothPartsAndLeavesTheHostsBytes) {
  Scenario s;
  s.requests[2].card = 0;
  emulator_.SetScenario(s);
  const std::int32_t counter = driver::CashlessCounter;
  CardInfo info;
  std::memset(&info, 0x77, sizeof info);
  ASSERT_EQ(CardQuery(info, 9), "");
  EXPECT_EQ(std::string(info.CardHead.view()), "0012");
  EXPECT_EQ(std::string(info.CardTail.view()), "345678");
  EXPECT_EQ(info.Flag, 0x77);
  EXPECT_EQ(info.Value16[0], 0x77);
  EXPECT_EQ(info.Amount32, 0);
  EXPECT_GT(info.ValidUntil, platform::SystemClock().now_as_date() + 9.99);
  ASSERT_EQ(CardQuery(info, 9), "");
  EXPECT_EQ(std::string(info.CardHead.view()), "0000");
  EXPECT_EQ(std::string(info.CardTail.view()), "000000");
  const auto all = emulator_.Exchanges();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].request.counter, counter);
  EXPECT_EQ(all[1].request.counter, counter + 1);
  EXPECT_EQ(driver::CashlessCounter, counter + 2);
}

}  // namespace
}  // namespace sd
