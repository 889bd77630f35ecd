// Every way an exchange can fail, over every operation that reaches a server: each ends in its own
// message within the operation's wait plus half a second, and by then no exchange thread is left.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "driver/server_state.h"
#include "platform/files.h"
#include "platform/sockets.h"
#include "support/process_stats.h"
#include "tests/driver/operation_fixture.h"

namespace sd {
namespace {

using namespace std::chrono_literals;
using namespace sd::literals;
using emulator::Fault;
using emulator::Scenario;

// Long enough that a reply dripped a byte every 20 ms (about half a second) arrives within it on a loaded
// machine or under Wine.
constexpr int kWaitMs = 1000;
const std::string kLinkFailure = "Ошибка связи с сервером: ";
const std::string kChecksum = kLinkFailure + "Неверная контрольная сумма входящего пакета (";

const std::string kCard = "0012345678";

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

// What one operation ended in: the raised message (UTF-8, "" for none) and the card its record holds.
struct Outcome {
  std::string message;
  std::string card;
};

class Faults : public testing::OperationTest {
 public:
  void SetUp() override {
    OperationTest::SetUp();
    settings::LinkSettings.bWaitTimeOut = kWaitMs;
  }
  Outcome Run(Op op) {
    switch (op) {
      case Op::CardInfo: {
        CardInfo r{};
        std::string message = CardQuery(r, 1);
        return {message, std::string(r.CardHead.view()) + std::string(r.CardTail.view())};
      }
      case Op::Discount: {
        DiscountResult r{};
        std::string message = Discount(r, 'M', 1, 1, 10);
        return {message, std::string(r.NumberCard.view())};
      }
      case Op::Sale: {
        CashlessResult r{};
        std::string message = Sale(r, 1, 1, 10);
        return {message, std::string(r.NumberCard.view())};
      }
      case Op::Return: {
        CashlessResult r{};
        // The reply to a return carries the returned card.
        std::string message = Return(r, kCard, 1, 1, 10);
        return {message, std::string(r.NumberCard.view())};
      }
    }
    return {"?", ""};
  }
  void PointAt(int port) {
    settings::LinkSettings.Port = port;
    settings::LinkSettings.Portbn = port;
  }
  void Fail(Fault fault) {
    Scenario s;
    s.defaults.fault = fault;
    Serve(s);
  }
  void Serve(const Scenario& s) { emulator_.SetScenario(s); }
  // The disk fills up just as the request goes out: that line and every one after it cannot be written.
  void FillDiskOnceSent() {
    static platform::FileOps full = platform::SystemFiles();
    static std::atomic<bool> is_full{false};
    is_full = false;
    full.append = [](const std::string& path, std::string_view line, std::int64_t* size) {
      if (line.find("Пакет отправлен"_w) != std::string_view::npos) is_full = true;
      return is_full ? 112 : platform::SystemFiles().append(path, line, size);
    };
    platform::SetFiles(&full);
  }
  void TearDown() override {
    platform::SetFiles(nullptr);
    OperationTest::TearDown();
  }
};

// One server behaviour or setting, and the message every operation ends in. kTimeOut and kFailure stand
// for each operation's own time-out and failure texts; a message that starts with kChecksum is matched up
// to the dump.
const std::string kTimeOut = "<the operation's time-out>";
const std::string kFailure = "<the operation's failure>";
struct Row {
  const char* name;
  std::function<void(Faults&)> arrange;
  std::string message;          // "" for a success, whose record then holds kCard
  int at_least_ms = 0;          // the behaviour takes this long, so a quick end would mean it did not happen
  std::string also_possible{};  // another ending that the network stack may choose
};

Row Served(const char* name, Fault fault, std::string message, int at_least_ms = 0) {
  return {name, [fault](Faults& f) { f.Fail(fault); }, std::move(message), at_least_ms};
}
Row Replied(const char* name, std::function<void(Scenario&)> plan, std::string message, int at_least_ms = 0) {
  return {name,
          [plan](Faults& f) {
            Scenario s;
            plan(s);
            f.Serve(s);
          },
          std::move(message), at_least_ms};
}

const Row kRows[] = {
    {"refused", [](Faults& f) { f.PointAt(DeadPort()); }, kLinkFailure + "Socket Error # 10061\r\nConnection refused."},
    {"unknown_host", [](Faults&) { settings::LinkSettings.IP = "no-such-host.invalid"; },
     kLinkFailure + "Socket Error # 11001\r\nHost not found."},
    {"empty_host", [](Faults&) { settings::LinkSettings.IP = ""; }, kLinkFailure},
    {"port_0", [](Faults& f) { f.PointAt(0); }, kLinkFailure + "Port 0 is outside 1..65535"},
    {"port_65536", [](Faults& f) { f.PointAt(65536); }, kLinkFailure + "Port 65536 is outside 1..65535"},
    {"negative_port", [](Faults& f) { f.PointAt(-5); }, kLinkFailure + "Port -5 is outside 1..65535"},
    Served("silent", Fault::Silent, kTimeOut, kWaitMs),
    Served("close_before_answering", Fault::Close, kLinkFailure + "Connection Closed Gracefully."),
    // Whether the close is seen before the request goes out, or the request meets the closed socket
    // and is answered by a reset, is up to the network stack; either way the operation fails at once.
    {"close_right_after_accepting", [](Faults& f) { f.Fail(Fault::Hangup); },
     kLinkFailure + "Connection Closed Gracefully.", 0,
     kLinkFailure + "Socket Error # 10054\r\nConnection reset by peer."},
    Served("reset", Fault::Reset, kLinkFailure + "Socket Error # 10054\r\nConnection reset by peer."),
    Served("wrong_checksum", Fault::BadCrc, kChecksum),
    Served("garbage", Fault::Garbage, kChecksum),
    // A reply is read up to its terminator, however TCP delivers it.
    Served("two_pieces", Fault::Split, ""),
    Served("one_byte_every_20_ms", Fault::Drip, "", 20 * 20),
    Served("no_terminator_then_silence", Fault::NoEnd, kTimeOut, kWaitMs),
    Served("no_terminator_then_close", Fault::NoEndClose, kLinkFailure + "Connection Closed Gracefully."),
    // What came with the terminator is the reply, the bytes after it too: its checksum then fails.
    Served("more_bytes_after_the_reply", Fault::Trailing, kChecksum),
    // The read stops at the receive buffer's size and takes that as the reply.
    Served("a_mebibyte_without_terminator", Fault::Flood, kChecksum),
    Served("reset_in_the_middle_of_the_reply", Fault::MidReset,
           kLinkFailure + "Socket Error # 10054\r\nConnection reset by peer."),
    Replied("accepted_late_in_the_wait", [](Scenario& s) { s.defaults.accept_ms = kWaitMs * 2 / 3; }, "",
            kWaitMs * 2 / 3),
    // The reply's type is not matched against the request's: types 1 and 3 carry the same fields.
    Replied("type_3_reply", [](Scenario& s) { s.defaults.type = 3; }, ""),
    Replied("type_1_reply", [](Scenario& s) { s.defaults.type = 1; }, ""),
    // A reply without the fields cannot fill a record: nothing of it, nor of an earlier reply, is taken.
    Replied("type_2_reply", [](Scenario& s) { s.defaults.type = 2; }, kFailure),
    // The server has the request: what the log cannot take is lost, and the answer still counts.
    {"disk_full_once_the_request_is_sent", [](Faults& f) { f.FillDiskOnceSent(); }, ""},
};

// What a log line shows of a text: its line breaks escaped.
std::string Escaped(std::string text) {
  for (std::size_t at = 0; (at = text.find_first_of("\r\n", at)) != std::string::npos; at += 2)
    text.replace(at, 1, text[at] == '\r' ? "\\r" : "\\n");
  return text;
}

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class FaultTable : public Faults, public ::testing::WithParamInterface<Row> {};

TEST_P(FaultTable, EveryOperationEndsInItsMessageWithinTheWaitAndLeavesNoThread) {
  const Row& row = GetParam();
  if (sd::testing::UnderWine() && row.message.find("# 10054") != std::string::npos)
    GTEST_SKIP() << "Wine reports the server's reset as an orderly close";
  for (Op op : {Op::CardInfo, Op::Discount, Op::Sale, Op::Return}) {
    SCOPED_TRACE(Name(op));
    settings::LinkSettings.IP = "127.0.0.1";
    settings::LinkSettings.Port = emulator_.DiscountPort();
    settings::LinkSettings.Portbn = emulator_.CashlessPort();
    platform::SetFiles(nullptr);
    Serve({});
    row.arrange(*this);
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = Run(op);
    const auto took = std::chrono::steady_clock::now() - start;
    std::string expected = row.message;
    if (expected == kTimeOut)
      expected = op == Op::Discount ? "Не удалось получить скидку: TimeOut" : "Продажа б/н не проведена: TimeOut";
    if (expected == kFailure) expected = op == Op::Discount ? "Не удалось получить скидку!" : "Неудачный обмен с терминалом!";
    if (expected == kChecksum) {
      EXPECT_EQ(outcome.message.substr(0, kChecksum.size()), kChecksum) << outcome.message.substr(0, 200);
    } else if (outcome.message != row.also_possible || row.also_possible.empty()) {
      EXPECT_EQ(outcome.message, expected);
    }
    if (expected.empty()) {
      EXPECT_EQ(outcome.card, kCard);
    } else {
      // The cashier reads a short message, and the log holds it as the operation's last word.
      EXPECT_LE(text::FromUtf8(outcome.message).size(), 300u);
      const auto texts = LogTexts();
      EXPECT_NE(std::find(texts.begin(), texts.end(), "Операция не проведена: " + Escaped(outcome.message)),
                texts.end());
      // A cut message ends with the whole message's size, which the exchange thread's line holds whole.
      if (text::FromUtf8(outcome.message).size() == 300u) {
        const auto whole = std::find_if(texts.rbegin(), texts.rend(), [](const std::string& t) {
          return t.starts_with("[СВЯЗЬ] " + kLinkFailure);
        });
        ASSERT_NE(whole, texts.rend());
        EXPECT_TRUE(outcome.message.ends_with(
            "... (" + std::to_string(text::FromUtf8(*whole).size() - text::FromUtf8("[СВЯЗЬ] ").size()) + " байт)"))
            << outcome.message;
      }
    }
    const auto limit = std::chrono::milliseconds(kWaitMs + 500);
    EXPECT_LT(took, limit);
    EXPECT_GE(took, std::chrono::milliseconds(row.at_least_ms));
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - took);
    EXPECT_TRUE(exchange::WaitForExchangeThreads(std::max(left, std::chrono::milliseconds(0))))
        << "an exchange thread outlived its operation";
  }
  // A noise reply of a mebibyte shows only its start in the log, with its whole size.
  for (const std::string& line : LogTexts()) EXPECT_LE(line.size(), 3600u) << line.substr(0, 100);
}

INSTANTIATE_TEST_SUITE_P(ServerBehaviours, FaultTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

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
  EXPECT_NE(log.find("[СВЯЗЬ] Ошибка связи с сервером: Socket Error # 10061\\r\\nConnection refused.\r\n"),
            std::string::npos);
}

TEST_F(Faults, WrongChecksumIsLoggedByTheDecoderThenTheDisconnectThenTheFailure) {
  Fail(Fault::BadCrc);
  DiscountResult r{};
  const std::string message = Discount(r, 'M', 1, 1, 10);
  ASSERT_TRUE(exchange::WaitForExchangeThreads(2s));
  const auto texts = LogTexts();
  ASSERT_GE(texts.size(), 4u);
  const std::string decoder = message.substr(kLinkFailure.size());
  EXPECT_EQ(texts[texts.size() - 4], "[СВЯЗЬ] " + decoder);
  EXPECT_EQ(texts[texts.size() - 3], "[СВЯЗЬ] Отключение от сервера");
  EXPECT_EQ(texts[texts.size() - 2], "[СВЯЗЬ] " + message);
  EXPECT_EQ(texts[texts.size() - 1], "Операция не проведена: " + message);
  EXPECT_EQ(r.NumberCard.length, 0);
  EXPECT_EQ(r.Flag, 255);
}

TEST_F(Faults, AReplyWithoutFieldsFailsAndLeavesNothingOfTheReplyBefore) {
  Scenario s;
  s.defaults.price = 4500;
  s.defaults.discount = 100;
  s.requests[2].type = 2;
  s.requests[3].type = 2;
  s.requests[4].type = 2;
  emulator_.SetScenario(s);
  DiscountResult first{}, second{}, cancel{}, start{};
  ASSERT_EQ(Discount(first, 'M', 1, 2, 100), "");
  EXPECT_EQ(Discount(second, 'M', 1, 2, 100), "Не удалось получить скидку!");
  EXPECT_EQ(second.NumberCard.length, 0);
  EXPECT_EQ(second.CosteSk, 0) << "nothing of the reply before";
  EXPECT_EQ(driver::LastReply.DiscountedPrice, 0);
  // A cancel takes nothing from its reply, so one without fields still does.
  EXPECT_EQ(Discount(cancel, '+', 1, 2, 100), "");
  EXPECT_EQ(Discount(start, '-', 1, 2, 100), "Не удалось получить скидку!");
  EXPECT_EQ(start.SummaSk, 0);
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
