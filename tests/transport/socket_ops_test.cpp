// The socket operations over real loopback sockets, and their failures: range errors before any system
// call, socket errors with the Winsock numbering, the 65th handle.
#include "transport/socket_ops.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket_errors.h"
#include "smartdriver/errors.h"
#include "tools/emulator/peer.h"
#include "transport/socket_ops_fakes.h"
#include "transport/socket_stack.h"
#include "transport/transport_errors.h"

namespace sd::transport {
namespace {

using sd::platform::kNoSocket;
using sd::platform::kWsaEConnRefused;
using sd::platform::kWsaEConnReset;
using sd::platform::kWsaEMFile;
using sd::platform::kWsaENoProtoOpt;
using sd::platform::kWsaENotSock;
using sd::platform::kWsaETimedOut;

int system_calls = 0;
int CountingBind(SocketHandle, const sd::platform::SocketAddress&) { return ++system_calls, 0; }
int CountingConnect(SocketHandle, const sd::platform::SocketAddress&) { return ++system_calls, 0; }
int CountingSend(SocketHandle, const void*, int) { return ++system_calls, 0; }
int CountingRecv(SocketHandle, void*, int) { return ++system_calls, 0; }

TEST(SocketOps, RangeAndConversionErrorsComeBeforeAnySystemCall) {
  testing::ReplacedSockets sockets;
  sockets.ops.bind = CountingBind;
  sockets.ops.connect = CountingConnect;
  sockets.ops.send = CountingSend;
  sockets.ops.recv = CountingRecv;
  sockets.Install();
  system_calls = 0;
  const std::vector<std::uint8_t> three = {1, 2, 3};
  std::vector<std::uint8_t> none;

  EXPECT_THROW(BindSocket(5, "", 65536), sd::ERangeError);
  EXPECT_THROW(BindSocket(5, "", -1), sd::ERangeError);
  EXPECT_THROW(BindSocket(5, "127.0.0.256", 80), sd::ERangeError);
  EXPECT_THROW(BindSocket(5, "127.0.zero.1", 80), sd::EConvertError);
  EXPECT_THROW(ConnectSocket(5, "127.0.0.1", 65536), sd::ERangeError);
  EXPECT_THROW(SendOnSocket(5, three, 3), sd::ERangeError);
  EXPECT_THROW(SendOnSocket(5, three, -1), sd::ERangeError);
  EXPECT_THROW(SendOnSocket(5, three, 1, 3), sd::ERangeError);
  EXPECT_THROW(SendOnSocket(5, none, 0), sd::ERangeError);
  EXPECT_THROW(ReceiveOnSocket(5, none), sd::ERangeError);
  EXPECT_EQ(system_calls, 0);

  // The limits themselves are accepted.
  BindSocket(5, "", 65535);
  SendOnSocket(5, three, 2, 1);
  EXPECT_EQ(system_calls, 2);
}

int FailWith(int code) {
  sd::platform::SetLastSocketError(code);
  return -1;
}
SocketHandle FailingSocket(int, int, int) { return FailWith(kWsaEMFile), kNoSocket; }
int FailingConnect(SocketHandle, const sd::platform::SocketAddress&) { return FailWith(kWsaETimedOut); }
int FailingRecv(SocketHandle, void*, int) { return FailWith(kWsaENotSock); }

TEST(SocketOps, AFailingSystemCallRaisesItsCodeAndText) {
  testing::ReplacedSockets sockets;
  sockets.ops.socket = FailingSocket;
  sockets.ops.connect = FailingConnect;
  sockets.ops.recv = FailingRecv;
  sockets.Install();
  std::vector<std::uint8_t> buffer(8);
  try {
    OpenTcpSocket();
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_EQ(e.ErrorCode(), kWsaEMFile);
    EXPECT_STREQ(e.what(), "Socket Error # 10024\r\nToo many open files.");
  }
  try {
    ConnectSocket(5, "127.0.0.1", 80);
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
  }
  EXPECT_THROW(ReceiveOnSocket(5, buffer), NotASocketError);
}

TEST(SocketOps, SystemErrorsKeepTheWinsockNumbering) {
  StackUser stack;
  std::vector<std::uint8_t> buffer(8);
  try {
    ReceiveOnSocket(kNoSocket, buffer);
    FAIL();
  } catch (const SocketError& e) {
    // POSIX calls a handle that names nothing a bad descriptor; Winsock calls it no socket.
    const std::string what = e.what();
    EXPECT_TRUE(what == "Socket Error # 10009\r\nBad file number." ||
                what == "Socket Error # 10038\r\nSocket operation on non-socket.")
        << what;
  }
  const SocketHandle socket = OpenTcpSocket();
  try {
    SetTcpOption(socket, 6, 99, 1);
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_EQ(e.ErrorCode(), kWsaENoProtoOpt);
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      attempt == 0 ? static_cast<void>(ReceiveOnSocket(socket, buffer)) : static_cast<void>(PeerEndpoint(socket));
      FAIL();
    } catch (const SocketError& e) {
      EXPECT_STREQ(e.what(), "Socket Error # 10057\r\nSocket is not connected.");
    }
  }
  CloseSocketHandle(socket);
}

TEST(SocketOps, NobodyListeningIsConnectionRefused) {
  StackUser stack;
  int port;
  { port = sd::emulator::Peer(nullptr).Port(); }  // a port nobody listens on any more
  const SocketHandle socket = OpenTcpSocket();
  try {
    ConnectSocket(socket, "127.0.0.1", port);
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_EQ(e.ErrorCode(), kWsaEConnRefused);
    EXPECT_EQ(e.Message(), std::string("Socket Error # 10061\r\nConnection refused."));
  }
  CloseSocketHandle(socket);
  CloseSocketHandle(socket);  // closing twice raises nothing
}

TEST(SocketOps, ConnectSendWaitReceiveAndClose) {
  StackUser stack;
  sd::emulator::Peer server([](sd::emulator::Connection& peer) {
    const std::string request = peer.ReceiveText();
    peer.Send("re:" + request);
    peer.AwaitClientClose(300);  // the client only half-closes
  });
  const SocketHandle socket = OpenTcpSocket();
  BindSocket(socket, "127.0.0.1", 0);
  ConnectSocket(socket, "127.0.0.1", server.Port());
  const Endpoint local = LocalEndpoint(socket);
  const Endpoint peer = PeerEndpoint(socket);
  EXPECT_EQ(local.address, "127.0.0.1");
  EXPECT_GT(local.port, 0);
  EXPECT_EQ(peer.address, "127.0.0.1");
  EXPECT_EQ(peer.port, server.Port());

  SocketSet set;
  set.Add(socket);
  EXPECT_FALSE(WaitReadable(set, 0));
  const std::vector<std::uint8_t> request = {'x', 'a', 'b', 'c'};
  EXPECT_EQ(SendOnSocket(socket, request, 1), 3);
  ASSERT_TRUE(WaitReadable(set, -2));
  std::vector<std::uint8_t> reply(64);
  reply.resize(static_cast<std::size_t>(ReceiveOnSocket(socket, reply)));
  EXPECT_EQ(std::string(reply.begin(), reply.end()), "re:abc");
  // The server's orderly close makes the socket readable with nothing to read.
  ASSERT_TRUE(server.WaitServed(1));
  ASSERT_TRUE(WaitReadable(set, 5000));
  EXPECT_EQ(ReceiveOnSocket(socket, reply), 0);
  CloseSocketHandle(socket);
}

TEST(SocketOps, SendAfterAResetRaisesInsteadOfABrokenPipeSignal) {
  StackUser stack;
  sd::emulator::Peer server([](sd::emulator::Connection& peer) { peer.Reset(); });
  const SocketHandle socket = OpenTcpSocket();
  ConnectSocket(socket, "127.0.0.1", server.Port());
  ASSERT_TRUE(server.WaitServed(1));
  const std::vector<std::uint8_t> bytes(1024, 7);
  int code = 0;
  for (int i = 0; i < 50 && code == 0; ++i) {
    try {
      SendOnSocket(socket, bytes);
    } catch (const SocketError& e) {
      code = e.ErrorCode();
    }
  }
  EXPECT_EQ(code, kWsaEConnReset);
  CloseSocketHandle(socket);
}

const sd::platform::WaitLimit* seen_limit = nullptr;
sd::platform::WaitLimit seen_value;
int RecordingSelect(sd::platform::HandleSet* set, const sd::platform::WaitLimit* limit) {
  seen_limit = limit;
  if (limit) seen_value = *limit;
  set->count = 0;
  return 0;
}

TEST(WaitReadable, PassesTheTimeOutAsSecondsAndMicroseconds) {
  testing::ReplacedSockets sockets;
  sockets.ops.select = RecordingSelect;
  sockets.Install();
  SocketSet set;
  set.Add(5);
  const struct {
    int timeout_ms;
    bool limited;
    long seconds, microseconds;
  } cases[] = {{0, true, 0, 0}, {1500, true, 1, 500000}, {999, true, 0, 999000}, {-2, false, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_FALSE(WaitReadable(set, c.timeout_ms));
    ASSERT_EQ(seen_limit != nullptr, c.limited) << c.timeout_ms;
    if (c.limited) {
      EXPECT_EQ(seen_value.seconds, c.seconds) << c.timeout_ms;
      EXPECT_EQ(seen_value.microseconds, c.microseconds) << c.timeout_ms;
    }
  }
}

TEST(SocketSet, TheSixtyFifthHandleIsRefused) {
  SocketSet set;
  for (SocketHandle h = 0; h < 64; ++h) set.Add(h);
  try {
    set.Add(64);
    FAIL();
  } catch (const SetSizeExceededError& e) {
    EXPECT_STREQ(e.what(), "Set Size Exceeded.");
  }
  EXPECT_EQ(set.Count(), 64);
  EXPECT_EQ(set.Copy().handles[63], 63u);
}

}  // namespace
}  // namespace sd::transport
