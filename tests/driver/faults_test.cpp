// Every way an exchange can fail, over every operation that reaches a server: each ends in its own
// message within the operation's wait plus a small margin, and no exchange thread outlives it for long.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "driver/server_state.h"
#include "platform/sockets.h"
#include "tests/driver/operation_fixture.h"

namespace sd {
namespace {

using namespace std::chrono_literals;
using emulator::Fault;
using emulator::Scenario;

constexpr int kWaitMs = 700;
const std::string kLinkFailure = "Ошибка связи с сервером: ";
const std::string kChecksum = kLinkFailure + "Неверная контрольная сумма входящего пакета (";

// A loopback port that was just free and that nobody listens on.
int DeadPort() { return emulator::Peer(nullptr).Port(); }

enum class Op { CardInfo, Discount, Sale, Return };
const char* Name(Op op) {
  switch (op) {
    case Op::CardInfo: return "card-info";
    case Op::Discount: return "discount";
    case Op::Sale: return "cashless-sale";
    case Op::Return: return "cashless-return";
  }
  return "";
}

class Faults : public testing::OperationTest {
 public:
  void SetUp() override {
    OperationTest::SetUp();
    settings::LinkSettings.bWaitTimeOut = kWaitMs;
  }
  std::string Run(Op op) {
    switch (op) {
      case Op::CardInfo: {
        CardInfo r{};
        return CardQuery(r, 1);
      }
      case Op::Discount: {
        DiscountResult r{};
        return Discount(r, 'M', 1, 1, 10);
      }
      case Op::Sale: {
        CashlessResult r{};
        return Sale(r, 1, 1, 10);
      }
      case Op::Return: {
        CashlessResult r{};
        return Return(r, "12345", 1, 1, 10);
      }
    }
    return "?";
  }
  void PointAt(int port) {
    settings::LinkSettings.Port = port;
    settings::LinkSettings.Portbn = port;
  }
  void Fail(Fault fault) {
    Scenario s;
    s.defaults.fault = fault;
    emulator_.SetScenario(s);
  }
};

TEST_F(Faults, EveryFailureEndsInItsMessageWithinTheWait) {
  const int nobody = DeadPort();
  const struct Case {
    const char* name;
    std::function<void(Faults&)> arrange;
    std::string discount_message;  // the cashless operations' time-out text differs, the rest is the same
    bool timeout = false;
    std::string also_possible = "";
  } cases[] = {
      {"refused", [&](Faults& f) { f.PointAt(nobody); },
       kLinkFailure + "Socket Error # 10061\r\nConnection refused."},
      {"unknown host", [](Faults&) { settings::LinkSettings.IP = "no-such-host.invalid"; },
       kLinkFailure + "Socket Error # 11001\r\nHost not found."},
      {"silent", [](Faults& f) { f.Fail(Fault::Silent); }, "Не удалось получить скидку: TimeOut", true},
      {"close before answering", [](Faults& f) { f.Fail(Fault::Close); },
       kLinkFailure + "Connection Closed Gracefully."},
      // Whether the close is seen before the request goes out, or the request meets the closed socket
      // and is answered by a reset, is up to the network stack; either way the operation fails at once.
      {"close right after accepting", [](Faults& f) { f.Fail(Fault::Hangup); },
       kLinkFailure + "Connection Closed Gracefully.", false,
       kLinkFailure + "Socket Error # 10054\r\nConnection reset by peer."},
      {"reset", [](Faults& f) { f.Fail(Fault::Reset); }, kLinkFailure + "Socket Error # 10054\r\nConnection reset by peer."},
      // A reply is read up to its terminator, however TCP delivers it.
      {"two pieces", [](Faults& f) { f.Fail(Fault::Split); }, ""},
      {"port 0", [](Faults& f) { f.PointAt(0); }, kLinkFailure + "Port 0 is outside 1..65535"},
      {"port 65536", [](Faults& f) { f.PointAt(65536); }, kLinkFailure + "Port 65536 is outside 1..65535"},
      {"negative port", [](Faults& f) { f.PointAt(-5); }, kLinkFailure + "Port -5 is outside 1..65535"},
      {"wrong checksum", [](Faults& f) { f.Fail(Fault::BadCrc); }, kChecksum},
      {"garbage", [](Faults& f) { f.Fail(Fault::Garbage); }, kChecksum},
  };
  for (const Case& c : cases) {
    for (Op op : {Op::CardInfo, Op::Discount, Op::Sale, Op::Return}) {
      settings::LinkSettings.IP = "127.0.0.1";
      PointAt(0);
      settings::LinkSettings.Port = emulator_.DiscountPort();
      settings::LinkSettings.Portbn = emulator_.CashlessPort();
      emulator_.SetScenario({});
      c.arrange(*this);
      const auto start = std::chrono::steady_clock::now();
      const std::string message = Run(op);
      const auto took = std::chrono::steady_clock::now() - start;
      std::string expected = c.discount_message;
      if (c.timeout && op != Op::Discount) expected = "Продажа б/н не проведена: TimeOut";
      if (expected == kChecksum) {
        EXPECT_EQ(message.substr(0, kChecksum.size()), kChecksum) << c.name << " / " << Name(op) << ": " << message;
      } else if (message != c.also_possible) {
        EXPECT_EQ(message, expected) << c.name << " / " << Name(op);
      }
      EXPECT_LT(took, std::chrono::milliseconds(kWaitMs + 600)) << c.name << " / " << Name(op);
      if (c.timeout) {
        EXPECT_GE(took, std::chrono::milliseconds(kWaitMs)) << c.name;
      }
      EXPECT_TRUE(exchange::WaitForExchangeThreads(std::chrono::milliseconds(kWaitMs + 500)))
          << c.name << " / " << Name(op) << ": an exchange thread outlived its operation";
    }
  }
}

TEST_F(Faults, RefusedConnectionLogsNoConnectionAndNoDisconnect) {
  const int nobody = DeadPort();
  PointAt(nobody);
  DiscountResult r{};
  Discount(r, 'M', 1, 1, 10);
  ASSERT_TRUE(exchange::WaitForExchangeThreads(2s));
  const std::string log = Utf8(drive_.Log());
  EXPECT_NE(log.find("[СВЯЗЬ] Соединение... (IP 127.0.0.1; Порт " + std::to_string(nobody) + "\r\n"),
            std::string::npos);
  EXPECT_EQ(log.find("Соединение установлено"), std::string::npos);
  EXPECT_EQ(log.find("Отключение от сервера"), std::string::npos);
  EXPECT_NE(log.find("[СВЯЗЬ] Ошибка связи с сервером: Socket Error # 10061\r\nConnection refused.\r\n"),
            std::string::npos);
}

TEST_F(Faults, WrongChecksumIsLoggedByTheDecoderThenTheDisconnectThenTheFailure) {
  Fail(Fault::BadCrc);
  DiscountResult r{};
  const std::string message = Discount(r, 'M', 1, 1, 10);
  ASSERT_TRUE(exchange::WaitForExchangeThreads(2s));
  const auto texts = LogTexts();
  ASSERT_GE(texts.size(), 3u);
  const std::string decoder = message.substr(kLinkFailure.size());
  EXPECT_EQ(texts[texts.size() - 3], "[СВЯЗЬ] " + decoder);
  EXPECT_EQ(texts[texts.size() - 2], "[СВЯЗЬ] Отключение от сервера");
  EXPECT_EQ(texts[texts.size() - 1], "[СВЯЗЬ] " + message);
  EXPECT_EQ(r.NumberCard.length, 0);
  EXPECT_EQ(r.Flag, 255);
}

TEST_F(Faults, TypeTwoReplyClearsTheCardAndKeepsTheOtherFields) {
  Scenario s;
  s.defaults.price = 4500;
  s.defaults.discount = 100;
  s.requests[2].type = 2;
  emulator_.SetScenario(s);
  DiscountResult first{}, second{};
  ASSERT_EQ(Discount(first, 'M', 1, 2, 100), "");
  ASSERT_EQ(Discount(second, 'M', 1, 2, 100), "");
  EXPECT_EQ(std::string(second.NumberCard.view()), "0000000000");
  EXPECT_EQ(second.CosteSk, 45) << "the price of the last reply that carried one";
  EXPECT_EQ(second.Skidka, 10);
}

TEST_F(Faults, LateAnswerNeverReachesTheNextOperation) {
  Scenario s;
  s.requests[1].delay_ms = kWaitMs + 200;
  s.requests[1].card = 0x1111111111;
  s.requests[2].card = 0x2222222222;
  emulator_.SetScenario(s);
  DiscountResult late{}, next{};
  EXPECT_EQ(Discount(late, 'M', 1, 1, 10), "Не удалось получить скидку: TimeOut");
  EXPECT_EQ(late.NumberCard.length, 0);
  ASSERT_EQ(Discount(next, 'M', 1, 1, 10), "");
  EXPECT_EQ(std::string(next.NumberCard.view()), "2222222222");
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(exchange::CardNumberText(driver::LastReply.CardNumber), "2222222222");
}

TEST_F(Faults, NegativeWaitIsTakenAsTenSecondsAndZeroGivesUpAtOnce) {
  Fail(Fault::Silent);
  settings::LinkSettings.bWaitTimeOut = 0;
  auto start = std::chrono::steady_clock::now();
  DiscountResult r{};
  EXPECT_EQ(Discount(r, 'M', 1, 1, 10), "Не удалось получить скидку: TimeOut");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
  EXPECT_TRUE(exchange::WaitForExchangeThreads(2s));

  Scenario s;
  s.defaults.delay_ms = 1200;
  emulator_.SetScenario(s);
  settings::LinkSettings.bWaitTimeOut = -1;
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Discount(r, 'M', 1, 1, 10), "") << "a wait of 10 s outlasts the 1.2 s answer";
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1200ms);
}

TEST_F(Faults, LoggingOffChangesNothingButTheLog) {
  settings::LinkSettings.bEnableLog = false;
  std::filesystem::remove_all(drive_.LogDir());
  DiscountResult r{};
  EXPECT_EQ(Discount(r, 'M', 1, 2, 100), "");
  EXPECT_EQ(std::string(r.NumberCard.view()), "0012345678");
  EXPECT_FALSE(std::filesystem::exists(drive_.LogDir()));
}

}  // namespace
}  // namespace sd

namespace sd {
namespace {

int SlowLookup(const char*, std::array<std::uint8_t, 4>*, int limit_ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(limit_ms < 0 ? 5000 : limit_ms));
  return -2;
}

TEST_F(Faults, ASlowNameServerCannotHoldTheExchangeThreadPastItsWait) {
  static platform::SocketOps slow = platform::SystemSockets();
  slow.lookup_ipv4_within = SlowLookup;
  platform::SetSockets(&slow);
  settings::LinkSettings.IP = "slow-name-server.test";
  DiscountResult r{};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Discount(r, 'M', 1, 1, 10), "Не удалось получить скидку: TimeOut");
  EXPECT_TRUE(exchange::WaitForExchangeThreads(std::chrono::milliseconds(kWaitMs)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kWaitMs + 250 + 400));
  platform::SetSockets(nullptr);
  ASSERT_TRUE(exchange::WaitForExchangeThreads(2s));
  EXPECT_NE(Utf8(drive_.Log()).find("[СВЯЗЬ] Ошибка связи с сервером: Connect timed out."), std::string::npos);
}

}  // namespace
}  // namespace sd
