// Tests of the server emulator against the transport's client: the default answers, each fault, the
// scenario rules, and the program itself started the way a script starts it.
#include "tools/emulator/emulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>

#include "exchange/codec.h"
#include "support/process_stats.h"
#include "platform/socket_errors.h"
#include "smartdriver/errors.h"
#include "support/emulator_process.h"
#include "support/temp_drive.h"
#include "transport/tcp_client.h"
#include "transport/transport_errors.h"

namespace sd::emulator {
namespace {

using namespace std::chrono_literals;
using sd::exchange::BuildCancelRequest;
using sd::exchange::BuildRequest;
using sd::exchange::DecodedReply;
using sd::exchange::PacketType;
using sd::transport::TcpClient;

enum class End { Closed, Reset, StillOpen };

struct Received {
  Bytes bytes;
  int pieces = 0;
  End end = End::StillOpen;
  std::unique_ptr<TcpClient> client;  // the connection, when it was to be kept
};

// Reads until the server closes, resets, or is quiet for quiet_ms.
Received ReadUntilQuiet(TcpClient& client, int quiet_ms) {
  Received received;
  client.SetReadTimeout(quiet_ms);
  try {
    for (std::size_t before = 0;; before = received.bytes.size()) {
      client.ReceiveBytes(received.bytes, -1, true);
      if (received.bytes.size() == before) break;
      ++received.pieces;
    }
  } catch (const sd::transport::SocketError& e) {
    EXPECT_EQ(e.ErrorCode(), sd::platform::kWsaEConnReset) << e.what();
    received.end = End::Reset;
  } catch (const sd::Exception&) {
    received.end = End::Closed;
  }
  return received;
}

// Sends a frame on a new connection and reads what comes back.
Received Exchange(int port, const Bytes& request, int quiet_ms = 3000, bool keep_open = false) {
  auto client = std::make_unique<TcpClient>();
  client->SetHost("127.0.0.1");
  client->SetPort(port);
  client->OpenConnection();
  try {
    client->SendBytes(request);
  } catch (const sd::Exception&) {
    // A server that hangs up at once may be faster; the read tells how it ended.
  }
  Received received = ReadUntilQuiet(*client, quiet_ms);
  if (keep_open) received.client = std::move(client);
  return received;
}

Bytes Request3(std::int32_t counter, std::uint8_t wallet, std::int32_t quantity, std::int32_t sum) {
  Bytes frame;
  BuildRequest(PacketType::kDiscount, wallet, quantity, sum, counter, frame);
  return frame;
}

DecodedReply Decoded(const Bytes& reply) { return sd::exchange::DecodeReply(reply); }

TEST(Emulator, AnswersLikeARealServer) {
  EmulatorOptions options;
  options.cancel_price = 777;
  Emulator emulator(options);
  ASSERT_NE(emulator.DiscountPort(), emulator.CashlessPort());

  auto reply = Exchange(emulator.DiscountPort(), Request3(41, 2, 1500, 15050));
  EXPECT_EQ(reply.end, End::Closed);
  auto fields = ParseReply(reply.bytes);
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->type, 3);
  EXPECT_EQ(fields->counter, 41);
  EXPECT_EQ(fields->wallet, 2);
  DecodedReply result = Decoded(reply.bytes);
  EXPECT_EQ(result.Approval, 1);
  EXPECT_EQ(result.CardNumber, 0x0012345678);
  EXPECT_EQ(result.DiscountTenths, 50);
  EXPECT_EQ(result.DiscountedPrice, 9531);  // 100.33 less 5.0 %

  Bytes sale;
  std::int32_t counter = 0;
  BuildRequest(PacketType::kSale, 1, 1000, 100, counter, sale);
  reply = Exchange(emulator.CashlessPort(), sale);
  EXPECT_EQ(ParseReply(reply.bytes)->type, 1);
  EXPECT_EQ(Decoded(reply.bytes).DiscountedPrice, 95);

  Bytes cancel;
  BuildCancelRequest(1, 1000, counter, 9876543210, cancel);
  reply = Exchange(emulator.DiscountPort(), cancel);
  EXPECT_EQ(ParseReply(reply.bytes)->type, 1);
  result = Decoded(reply.bytes);
  EXPECT_EQ(result.CardNumber, 0x9876543210);
  EXPECT_EQ(result.DiscountedPrice, 777);

  const auto exchanges = emulator.Exchanges();
  ASSERT_EQ(exchanges.size(), 3u);
  EXPECT_EQ(exchanges[0].server, Server::Discount);
  EXPECT_EQ(exchanges[0].request.unit_price, 10033);
  EXPECT_EQ(exchanges[0].request.quantity, 1500);
  EXPECT_TRUE(exchanges[0].request.crc_ok);
  EXPECT_EQ(exchanges[1].server, Server::Cashless);
  EXPECT_EQ(exchanges[2].request.type, 2);
  EXPECT_EQ(exchanges[2].request.card, 0x9876543210);
  EXPECT_EQ(exchanges[2].sequence, 3);
}

TEST(Emulator, EachFaultDoesWhatItSays) {
  EmulatorOptions options;
  options.split_pause_ms = 150;
  Emulator emulator(options);
  Scenario scenario = ParseScenario(
      "request 1 fault=close\n"
      "request 2 fault=reset\n"
      "request 3 fault=split\n"
      "request 4 fault=badcrc\n"
      "request 5 fault=garbage\n"
      "request 6 type=2 approval=0 price=5 discount=9 card=0000000042\n"
      "request 7 delay=300\n"
      "request 8 fault=hangup\n"
      "request 9 fault=silent\n");
  emulator.SetScenario(scenario);
  const Bytes request = Request3(0, 1, 1000, 1000);

  auto r = Exchange(emulator.DiscountPort(), request);
  EXPECT_EQ(r.end, End::Closed);
  EXPECT_TRUE(r.bytes.empty());

  r = Exchange(emulator.DiscountPort(), request);
  EXPECT_EQ(r.end, sd::testing::UnderWine() ? End::Closed : End::Reset);  // Wine shows a reset as a close
  EXPECT_TRUE(r.bytes.empty());

  r = Exchange(emulator.DiscountPort(), request);
  EXPECT_EQ(r.pieces, 2);
  EXPECT_EQ(Decoded(r.bytes).Approval, 1);

  r = Exchange(emulator.DiscountPort(), request);
  ASSERT_TRUE(ParseReply(r.bytes));  // a whole reply, but its checksum is wrong
  EXPECT_THROW(Decoded(r.bytes), sd::Exception);

  r = Exchange(emulator.DiscountPort(), request);
  EXPECT_EQ(r.bytes, Bytes(std::begin(kGarbageReply), std::end(kGarbageReply)));

  r = Exchange(emulator.DiscountPort(), request);
  auto fields = ParseReply(r.bytes);
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->type, 2);
  EXPECT_EQ(fields->approval, 0);
  EXPECT_EQ(fields->price, 5);
  EXPECT_EQ(fields->discount, 9);
  EXPECT_EQ(fields->card, 0x42);

  const auto start = std::chrono::steady_clock::now();
  r = Exchange(emulator.DiscountPort(), request);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
  EXPECT_TRUE(ParseReply(r.bytes));

  r = Exchange(emulator.DiscountPort(), request);
  EXPECT_NE(r.end, End::StillOpen);  // closed, or reset when the request met the closed socket
  EXPECT_TRUE(r.bytes.empty());

  r = Exchange(emulator.DiscountPort(), request, 300, true);
  EXPECT_EQ(r.end, End::StillOpen);
  EXPECT_TRUE(r.bytes.empty());
  // Stopping the emulator ends the silent connection instead of waiting for the client.
  emulator.Stop();
  EXPECT_EQ(ReadUntilQuiet(*r.client, 3000).end, End::Closed);

  const auto exchanges = emulator.Exchanges();
  ASSERT_EQ(exchanges.size(), 9u);
  EXPECT_EQ(exchanges[0].fault, Fault::Close);
  EXPECT_EQ(exchanges[7].fault, Fault::Hangup);
  EXPECT_EQ(exchanges[8].fault, Fault::Silent);
}

TEST(Emulator, RequestRulesWinOverWalletRulesOverDefaults) {
  Emulator emulator;
  emulator.SetScenario(ParseScenario(
      "default discount=100  # ten percent\n"
      "wallet 4 approval=0 price=11\n"
      "request 2 approval=7\n"));
  const auto ask = [&](std::uint8_t wallet) {
    return Decoded(Exchange(emulator.CashlessPort(), Request3(0, wallet, 1000, 1000)).bytes);
  };
  auto first = ask(4), second = ask(4), third = ask(1);
  EXPECT_EQ(first.Approval, 0);
  EXPECT_EQ(first.DiscountedPrice, 11);
  EXPECT_EQ(second.Approval, 7);
  EXPECT_EQ(second.DiscountedPrice, 11);
  EXPECT_EQ(third.Approval, 1);
  EXPECT_EQ(third.DiscountedPrice, 900);
  EXPECT_EQ(third.DiscountTenths, 100);
}

TEST(Emulator, ReportsAWrongRequestChecksumAndStillAnswers) {
  std::ostringstream out;
  EmulatorOptions options;
  options.out = &out;
  Bytes request = Request3(0, 1, 1, 1);
  request[request.size() - 2] ^= 0x01;  // the CRC's high byte
  {
    Emulator emulator(options);
    const auto r = Exchange(emulator.DiscountPort(), request);
    EXPECT_TRUE(ParseReply(r.bytes));
    ASSERT_EQ(emulator.Exchanges().size(), 1u);
    EXPECT_FALSE(emulator.Exchanges()[0].request.crc_ok);
  }
  const std::string text = out.str();
  EXPECT_NE(text.find("received 18 bytes: 01 03 00 00 00 00 01 00 00 00 01 00 00 03 E8 B2 53 C0"),
            std::string::npos) << text;
  EXPECT_NE(text.find("type=3 counter=0 wallet=1 quantity=1 unit-price=1000 crc=WRONG"), std::string::npos);
  EXPECT_NE(text.find("reply: type=3"), std::string::npos);
}

TEST(Scenario, MalformedLinesNameTheLine) {
  for (const char* bad : {"request 0 fault=close", "wallet 1 fault=sleepy", "request 1 delay=-5",
                          "sometimes fault=close", "request 1 approval", "wallet 300 type=1",
                          "default card=12345678901", "default colour=red", "wallet 2 fault=hangup",
                          "wallet 2 accept=100"}) {
    try {
      ParseScenario(std::string("# fine\n\n") + bad);
      ADD_FAILURE() << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
  }
}

// The program as a script uses it: ports on the first line, frames decoded, asked to stop it ends cleanly.
TEST(EmulatorProgram, ServesAScenarioAndEndsWhenAskedToStop) {
  sd::testing::TempDrive work;
  sd::testing::EmulatorProcess program(work.root(), "request 1 approval=3\n");
  ASSERT_TRUE(program.Ready()) << program.Output();
  const auto r = Exchange(program.CashlessPort(), Request3(0, 1, 1, 1));
  EXPECT_EQ(Decoded(r.bytes).Approval, 3);
  EXPECT_TRUE(program.WaitForOutput("reply: type=3", 5s)) << program.Output();
  EXPECT_NE(program.Output().find(
                "[cashless #1] request: type=3 counter=0 wallet=1 quantity=1 unit-price=1000 crc=ok"),
            std::string::npos)
      << program.Output();
  EXPECT_EQ(program.Stop(), 0);
}

}  // namespace
}  // namespace sd::emulator
