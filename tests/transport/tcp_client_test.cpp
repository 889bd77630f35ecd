// TcpClient against servers on 127.0.0.1 that answer and keep the connection, answer and close, close at
// once, answer in two deliveries, reset, stay silent or are not there at all.
#include "transport/tcp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/process_stats.h"
#include "platform/socket_errors.h"
#include "smartdriver/errors.h"
#include "transport/client_helpers.h"
#include "tools/emulator/peer.h"
#include "transport/socket_ops_fakes.h"
#include "transport/socket_stack.h"
#include "transport/transport_errors.h"

namespace sd::transport {
namespace {

using sd::platform::kWsaEConnRefused;
using sd::platform::kWsaEConnReset;
using sd::platform::kWsaHostNotFound;

using namespace std::chrono_literals;
using testing::Bytes;
using sd::emulator::Peer;
using testing::Recorder;
using sd::emulator::Connection;
using testing::Text;
using Events = std::vector<std::string>;
using sd::platform::SocketHandle;

// Lets a close or reset that the server has made reach the client's socket.
void LetItArrive() { std::this_thread::sleep_for(100ms); }

template <typename Call>
std::string MessageOf(Call call) {
  try {
    call();
  } catch (const sd::Exception& e) {
    return e.Message();
  }
  return "<nothing raised>";
}

TEST(TcpClient, ServerAnswersAndKeepsTheConnection) {
  std::string request_seen;
  Peer server([&](Connection& peer) {
    request_seen = peer.ReceiveText();
    peer.Send("REPLY");
    peer.AwaitClientClose();
  });
  TcpClient client;
  Recorder recorder(client);
  client.SetHost("LocalHost");
  client.SetPort(server.Port());
  client.OpenConnection();
  EXPECT_EQ(recorder.Take(),
            (Events{"Resolving hostname LocalHost.", "Connecting to 127.0.0.1.", "Connected.", "<connected>"}));
  EXPECT_EQ(client.PeerAddress(), "127.0.0.1");
  EXPECT_EQ(client.PeerPort(), server.Port());
  EXPECT_EQ(client.LocalAddress(), "127.0.0.1");
  EXPECT_GT(client.LocalPort(), 0);
  ASSERT_TRUE(client.IsConnected());

  client.SendBytes(Bytes("REQUEST"));
  std::vector<std::uint8_t> buffer = Bytes(">");
  client.ReceiveBytes(buffer, -1, true);
  EXPECT_EQ(Text(buffer), ">REPLY");
  client.CloseConnection();
  EXPECT_EQ(recorder.Take(), (Events{"Disconnecting.", "<disconnected>", "Disconnected."}));
  EXPECT_FALSE(client.IsConnected());
  client.CloseConnection();  // a second close does nothing
  EXPECT_TRUE(recorder.Take().empty());
  ASSERT_TRUE(server.WaitServed(1));
  EXPECT_EQ(request_seen, "REQUEST");
}

TEST(TcpClient, ServerAnswersAndCloses) {
  Peer server([](Connection& peer) {
    peer.ReceiveText();
    peer.Send("REPLY");
  });
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  Recorder recorder(client);
  client.SendBytes(Bytes("REQUEST"));
  std::vector<std::uint8_t> buffer;
  client.ReceiveBytes(buffer, -1, true);
  EXPECT_EQ(Text(buffer), "REPLY");
  ASSERT_TRUE(server.WaitServed(1));
  LetItArrive();
  // The poll of the close notices the peer's close and closes the socket itself.
  client.CloseConnection();
  EXPECT_EQ(recorder.Take(), (Events{"Disconnected."}));
  EXPECT_EQ(MessageOf([&] { client.ReceiveBytes(buffer, -1, true); }), "Connection Closed Gracefully.");
  EXPECT_EQ(Text(buffer), "REPLY");
}

TEST(TcpClient, ServerAcceptsAndClosesAtOnce) {
  Peer server([](Connection&) {});
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  ASSERT_TRUE(server.WaitServed(1));
  LetItArrive();
  EXPECT_FALSE(client.IsConnected());
  std::vector<std::uint8_t> buffer = Bytes("kept");
  EXPECT_EQ(MessageOf([&] { client.ReceiveBytes(buffer, -1, true); }), "Connection Closed Gracefully.");
  EXPECT_EQ(MessageOf([&] { client.ReceiveBytes(buffer, 4, true); }), "Connection Closed Gracefully.");
  EXPECT_EQ(MessageOf([&] { client.SendBytes(Bytes("REQUEST")); }), "Connection Closed Gracefully.");
  EXPECT_EQ(Text(buffer), "kept");
}

TEST(TcpClient, ReadOfAnyCountSeesThePeersCloseWhileWaiting) {
  Peer server([](Connection& peer) { peer.ReceiveText(); });
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  client.SendBytes(Bytes("REQUEST"));
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(MessageOf([&] { client.ReceiveBytes(buffer, -1, true); }), "Connection Closed Gracefully.");
  EXPECT_TRUE(buffer.empty());
}

TEST(TcpClient, ReplyInTwoDeliveries) {
  Peer server([](Connection& peer) {
    peer.ReceiveText();
    peer.Send("FIRST");
    std::this_thread::sleep_for(500ms);
    peer.Send("SECOND");
    peer.AwaitClientClose();
  });
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  client.SendBytes(Bytes("REQUEST"));
  std::vector<std::uint8_t> buffer;
  client.ReceiveBytes(buffer, -1, true);
  EXPECT_EQ(Text(buffer), "FIRST");  // count -1 receives once and does no framing
  client.ReceiveBytes(buffer, 6, false);
  EXPECT_EQ(Text(buffer), "SECOND");
  client.CloseConnection();
}

TEST(TcpClient, ResetAfterTheAnswerIsRaisedByTheCloseAfterClosing) {
  if (sd::testing::UnderWine()) GTEST_SKIP() << "Wine reports the server's reset as an orderly close";
  std::promise<void> reply_read;
  Peer server([&](Connection& peer) {
    peer.ReceiveText();
    peer.Send("REPLY");
    reply_read.get_future().wait_for(5s);
    peer.Reset();
  });
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  Recorder recorder(client);
  client.SendBytes(Bytes("REQUEST"));
  std::vector<std::uint8_t> buffer;
  client.ReceiveBytes(buffer, -1, true);
  EXPECT_EQ(Text(buffer), "REPLY");
  reply_read.set_value();
  ASSERT_TRUE(server.WaitServed(1));
  LetItArrive();
  try {
    client.CloseConnection();
    FAIL() << "the reset was not reported";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.ErrorCode(), kWsaEConnReset);
    EXPECT_STREQ(e.what(), "Socket Error # 10054\r\nConnection reset by peer.");
  }
  EXPECT_EQ(recorder.Take(), (Events{"Disconnecting.", "<disconnected>", "Disconnected."}));
  EXPECT_FALSE(client.IsConnected());
  client.CloseConnection();
}

TEST(TcpClient, NobodyListeningIsConnectionRefusedAndLeavesNoConnection) {
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(testing::DeadPort());
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      client.OpenConnection();
      FAIL();
    } catch (const SocketError& e) {
      EXPECT_EQ(e.ErrorCode(), kWsaEConnRefused);
      EXPECT_EQ(e.Message(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.LocalAddress(), "");
  }
}

TEST(TcpClient, UnknownHostIsHostNotFound) {
  TcpClient client;
  Recorder recorder(client);
  client.SetHost("smartdriver-test.invalid");
  client.SetPort(6010);
  try {
    client.OpenConnection();
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_EQ(e.ErrorCode(), kWsaHostNotFound);
    EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
  }
  EXPECT_EQ(recorder.Take(), (Events{"Resolving hostname smartdriver-test.invalid."}));
}

int sockets_opened = 0, sockets_closed = 0;
SocketHandle CountingSocket(int family, int type, int protocol) {
  ++sockets_opened;
  return sd::platform::SystemSockets().socket(family, type, protocol);
}
int CountingClose(SocketHandle socket) {
  ++sockets_closed;
  return sd::platform::SystemSockets().closesocket(socket);
}

TEST(TcpClient, HostAndPortAreCheckedBeforeAnythingIsOpened) {
  testing::ReplacedSockets sockets;
  sockets.ops.socket = CountingSocket;
  sockets.ops.closesocket = CountingClose;
  sockets.Install();
  enum Outcome { kEmptyError, kNoSocket, kRangeError };
  const struct {
    const char* host;
    int port;
    Outcome outcome;
    int sockets;
  } cases[] = {
      {"", 6010, kEmptyError, 0},
      {"127.0.0.1", 0, kEmptyError, 0},
      {"127.0.0.1", -1, kNoSocket, 0},
      {"127.0.0.1", 65536, kRangeError, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.host) + ":" + std::to_string(c.port));
    sockets_opened = sockets_closed = 0;
    TcpClient client;
    Recorder recorder(client);
    client.SetHost(c.host);
    client.SetPort(c.port);
    switch (c.outcome) {
      case kEmptyError:
        try {
          client.OpenConnection();
          ADD_FAILURE() << "nothing raised";
        } catch (const TransportError& e) {
          EXPECT_EQ(e.Message(), "");
        }
        EXPECT_TRUE(recorder.Take().empty());
        break;
      case kNoSocket:
        client.OpenConnection();
        EXPECT_FALSE(client.IsConnected());
        break;
      case kRangeError:
        EXPECT_THROW(client.OpenConnection(), sd::ERangeError);
        EXPECT_FALSE(client.IsConnected());
        break;
    }
    EXPECT_EQ(sockets_opened, c.sockets);
    EXPECT_EQ(sockets_closed, c.sockets);
  }
}

TEST(TcpClient, BindFailuresHaveOneMessage) {
  Peer server(nullptr);
  const struct {
    const char* bound_ip;
    int bound_port;
  } cases[] = {{"127.0.0.1", server.Port()}, {"127.0.0.x", 0}, {"", 70000}};
  for (const auto& c : cases) {
    TcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetBoundIP(c.bound_ip);
    client.SetBoundPort(c.bound_port);
    EXPECT_EQ(MessageOf([&] { client.OpenConnection(); }),
              "Could not bind socket. Address and port are already in use.")
        << c.bound_ip << ":" << c.bound_port;
  }
}

TEST(TcpClient, QueuedBytesKeepAClosedConnectionOpenUntilTaken) {
  Peer first([](Connection& peer) { peer.Send("LEFTOVER"); });
  Peer second([](Connection& peer) {
    peer.Send("NEW");
    peer.AwaitClientClose();
  });
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(first.Port());
  client.OpenConnection();
  ASSERT_TRUE(first.WaitServed(1));
  LetItArrive();
  EXPECT_TRUE(client.IsConnected());  // the peer has closed, but bytes remain queued
  EXPECT_EQ(MessageOf([&] { client.OpenConnection(); }), "Already connected.");
  std::vector<std::uint8_t> buffer;
  client.ReceiveBytes(buffer, 4, true);
  EXPECT_EQ(Text(buffer), "LEFT");
  EXPECT_EQ(MessageOf([&] { client.ReceiveBytes(buffer, 5, true); }), "Connection Closed Gracefully.");
  client.ReceiveBytes(buffer, 4, true);
  EXPECT_EQ(Text(buffer), "LEFTOVER");
  EXPECT_FALSE(client.IsConnected());

  client.SetPort(second.Port());
  client.OpenConnection();
  buffer.clear();
  client.ReceiveBytes(buffer, 3, true);
  EXPECT_EQ(Text(buffer), "NEW");
  client.CloseConnection();
}

TEST(TcpClient, ReadTimeouts) {
  Peer server([](Connection& peer) { peer.AwaitClientClose(); });
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  std::vector<std::uint8_t> buffer = Bytes("old");

  client.SetReadTimeout(300);
  auto start = std::chrono::steady_clock::now();
  client.ReceiveBytes(buffer, -1, true);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);
  EXPECT_EQ(Text(buffer), "old");

  client.SetReadTimeout(0);
  start = std::chrono::steady_clock::now();
  client.ReceiveBytes(buffer, -1, false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(Text(buffer), "old");

  client.SetReadTimeout(200);
  EXPECT_EQ(MessageOf([&] { client.ReceiveBytes(buffer, 1, true); }), "Read Timeout");
  EXPECT_TRUE(client.IsConnected());
  EXPECT_THROW(client.SetReadTimeout(-3), sd::ERangeError);
  client.CloseConnection();
}

TEST(TcpClient, EmptyCallsDoNothingAndReadingWithoutAConnectionIsRefused) {
  TcpClient client;
  Recorder recorder(client);
  std::vector<std::uint8_t> buffer = Bytes("same");
  client.SendBytes({});
  client.ReceiveBytes(buffer, 0, true);
  client.ReceiveBytes(buffer, -5, false);
  client.CloseConnection();
  EXPECT_EQ(Text(buffer), "same");
  EXPECT_TRUE(recorder.Take().empty());
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(MessageOf([&] { client.ReceiveBytes(buffer, -1, true); }), "Connection Closed Gracefully.");
  EXPECT_EQ(MessageOf([&] { client.SendBytes(Bytes("x")); }), "Connection Closed Gracefully.");
}

int FailingRecv(SocketHandle, void*, int) {
  sd::platform::SetLastSocketError(kWsaEConnReset);
  return -1;
}

TEST(TcpClient, ASocketErrorOfAReadLeavesTheSocketForTheCloseToPollAgain) {
  Peer server([](Connection& peer) {
    peer.Send("DATA");
    peer.AwaitClientClose();
  });
  TcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.OpenConnection();
  LetItArrive();
  testing::ReplacedSockets sockets;
  sockets.ops.recv = FailingRecv;
  sockets.Install();
  std::vector<std::uint8_t> buffer;
  EXPECT_THROW(client.ReceiveBytes(buffer, -1, true), SocketError);
  Recorder recorder(client);
  EXPECT_THROW(client.CloseConnection(), SocketError);
  EXPECT_EQ(recorder.Take(), (Events{"Disconnecting.", "<disconnected>", "Disconnected."}));
  EXPECT_FALSE(client.IsConnected());
}

TEST(TcpClient, DestructionInEveryStateReleasesTheStack) {
  Peer keeping([](Connection& peer) { peer.AwaitClientClose(); });
  Peer closing([](Connection& peer) { peer.Send("QUEUED"); });
  {
    TcpClient never_opened;
  }
  std::vector<std::string> statuses;
  {
    TcpClient open;
    open.SetHost("127.0.0.1");
    open.SetPort(keeping.Port());
    open.OpenConnection();
    open.SetOnStatus([&statuses](TcpStatus, std::string_view text) { statuses.emplace_back(text); });
    open.SetOnDisconnected([&statuses] { statuses.emplace_back("<disconnected>"); });
  }
  // Destroyed while open: closed without statuses, and the server sees the close.
  EXPECT_TRUE(statuses.empty());
  EXPECT_TRUE(keeping.WaitServed(1));
  {
    TcpClient peer_closed;
    peer_closed.SetHost("127.0.0.1");
    peer_closed.SetPort(closing.Port());
    peer_closed.OpenConnection();
    ASSERT_TRUE(closing.WaitServed(1));
    LetItArrive();
    EXPECT_TRUE(peer_closed.IsConnected());
  }
  {
    TcpClient failed;
    failed.SetHost("127.0.0.1");
    failed.SetPort(testing::DeadPort());
    EXPECT_THROW(failed.OpenConnection(), SocketError);
  }
  EXPECT_EQ(SocketStackUsers(), 0);
  EXPECT_FALSE(SocketStackExists());
}

}  // namespace
}  // namespace sd::transport
