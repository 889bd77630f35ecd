// TcpClient's connect with a time-out: success, failures reaching the caller, a connect that hangs
// because the listener's backlog is full, and a name server too slow for the limit.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/socket_errors.h"
#include "platform/sockets.h"
#include "smartdriver/errors.h"
#include "transport/addresses.h"
#include "transport/client_helpers.h"
#include "tools/emulator/peer.h"
#include "transport/socket_ops_fakes.h"
#include "transport/socket_stack.h"
#include "transport/tcp_client.h"
#include "transport/transport_errors.h"

namespace sd::transport {
namespace {

using sd::platform::kWsaEConnRefused;
using sd::platform::kWsaHostNotFound;

using namespace std::chrono_literals;
using testing::Bytes;
using sd::emulator::Peer;
using sd::emulator::Connection;
using testing::Text;

TEST(TcpClientConnect, WithATimeOutConnectsAndReadsBothEndsBack) {
  for (int limit : {1000, -1, -2}) {
    SCOPED_TRACE(limit);
    Peer server([](Connection& peer) {
      peer.Send("HELLO");
      peer.AwaitClientClose();
    });
    TcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetConnectTimeout(limit);
    client.OpenConnection();
    EXPECT_EQ(client.PeerPort(), server.Port());
    EXPECT_EQ(client.LocalAddress(), "127.0.0.1");
    EXPECT_GT(client.LocalPort(), 0);
    std::vector<std::uint8_t> buffer;
    client.ReceiveBytes(buffer, 5, true);
    EXPECT_EQ(Text(buffer), "HELLO");
    client.CloseConnection();
  }
}

TEST(TcpClientConnect, FailuresOfTheLimitedConnectReachTheCaller) {
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetConnectTimeout(1000);
  client.SetPort(testing::DeadPort());
  try {
    client.OpenConnection();
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_EQ(e.ErrorCode(), kWsaEConnRefused);
    EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
  }
  // A port the address cannot hold is refused before any call, as without a time-out.
  client.SetPort(65536);
  EXPECT_THROW(client.OpenConnection(), sd::ERangeError);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_THROW(client.SetConnectTimeout(-3), sd::ERangeError);
}

TEST(TcpClientConnect, AHangingConnectTimesOutWithinTheLimit) {
  // A listener that never accepts, with the smallest backlog: once it is full, further connects on
  // loopback hang in their handshake.
  Peer listener(nullptr, {.backlog = 0});
  std::vector<std::unique_ptr<TcpClient>> fillers;
  bool full = false;
  for (int i = 0; i < 8 && !full; ++i) {
    auto filler = std::make_unique<TcpClient>();
    filler->SetHost("127.0.0.1");
    filler->SetPort(listener.Port());
    filler->SetConnectTimeout(200);
    try {
      filler->OpenConnection();
      fillers.push_back(std::move(filler));
    } catch (const TransportError& e) {
      ASSERT_EQ(e.Message(), "Connect timed out.");
      full = true;
    }
  }
  ASSERT_TRUE(full) << "the listener's backlog never filled";

  TcpClient client;
  std::vector<std::string> statuses;
  client.SetOnStatus([&statuses](TcpStatus, std::string_view text) { statuses.emplace_back(text); });
  client.SetHost("127.0.0.1");
  client.SetPort(listener.Port());
  client.SetConnectTimeout(300);
  const auto start = std::chrono::steady_clock::now();
  try {
    client.OpenConnection();
    FAIL();
  } catch (const TransportError& e) {
    EXPECT_EQ(e.Message(), "Connect timed out.");
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // The upper bound leaves room for a busy machine.
  EXPECT_GE(elapsed, 295ms);
  EXPECT_LT(elapsed, 300ms + 400ms);
  EXPECT_EQ(statuses, (std::vector<std::string>{"Connecting to 127.0.0.1."}));
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(client.LocalAddress(), "");
}

}  // namespace
}  // namespace sd::transport

namespace sd::transport {
namespace {

// A name server that never answers in time: the lookup waits out whatever limit it is given.
int SlowLookup(const char*, std::array<std::uint8_t, 4>*, int limit_ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(limit_ms < 0 ? 2000 : limit_ms));
  return -2;
}

TEST(TcpClientConnect, TheLookupOfANameCountsAgainstTheConnectLimit) {
  testing::ReplacedSockets sockets;
  sockets.ops.lookup_ipv4_within = SlowLookup;
  sockets.Install();
  TcpClient client;
  client.SetHost("slow-name-server.test");
  client.SetPort(6010);
  client.SetConnectTimeout(300);
  const auto start = std::chrono::steady_clock::now();
  try {
    client.OpenConnection();
    FAIL();
  } catch (const SocketError&) {
    FAIL() << "a lookup that runs out of time is no socket error";
  } catch (const TransportError& e) {
    EXPECT_EQ(e.Message(), "Connect timed out.");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms + 400ms);
  EXPECT_FALSE(client.IsConnected());
}

TEST(Resolver, ALimitedLookupFindsWhatTheResolverKnowsAndReportsWhatItDoesNot) {
  StackUser stack;  // Winsock answers nothing before it is started.
  std::array<std::uint8_t, 4> address{};
  const auto& ops = sd::platform::SystemSockets();
  ASSERT_EQ(ops.lookup_ipv4_within("localhost", &address, 5000), 0);
  EXPECT_EQ(AddressToText(address), "127.0.0.1");
  ASSERT_EQ(ops.lookup_ipv4_within("no-such-host.invalid", &address, 5000), -1);
  EXPECT_EQ(ops.last_error(), kWsaHostNotFound);
  EXPECT_EQ(ops.lookup_ipv4_within("localhost", &address, -1), 0);
}

}  // namespace
}  // namespace sd::transport
