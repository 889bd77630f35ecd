// The stack's usage count: created with the first user, destroyed with the last, the library started
// once; a failed start raises from the client's creation and leaves the count as it was.
#include "transport/socket_stack.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/socket_errors.h"
#include "transport/socket_ops_fakes.h"
#include "transport/tcp_client.h"
#include "transport/transport_errors.h"

namespace sd::transport {
namespace {

using sd::platform::kWsaSysNotReady;
using sd::platform::kWsaVerNotSupported;

bool FailingLoad(std::uint32_t* code, std::string* text) {
  *code = 126;
  *text = "The module could not be found.";
  return false;
}

int startups = 0;
int CountingStartup(std::uint16_t version) {
  ++startups;
  return version == 0x0202 ? 0 : kWsaVerNotSupported;
}
int FailingStartup(std::uint16_t) {
  ++startups;
  return kWsaSysNotReady;
}

// These run first in their program, while the library is neither loaded nor started.
TEST(SocketStack, ALibraryThatCannotBeLoadedFailsTheCreation) {
  testing::ReplacedSockets sockets;
  sockets.ops.load_library = FailingLoad;
  sockets.Install();
  try {
    TcpClient client;
    FAIL();
  } catch (const SocketLibraryError& e) {
    EXPECT_EQ(e.SystemError(), 126u);
    EXPECT_STREQ(e.what(),
                 "Error on loading Winsock2 library (WS2_32.DLL): The module could not be found.");
  }
  EXPECT_EQ(SocketStackUsers(), 0);
  EXPECT_FALSE(SocketStackExists());
}

TEST(SocketStack, AFailedStartRaisesAndIsTriedAgainByTheNextCreation) {
  testing::ReplacedSockets sockets;
  sockets.ops.startup = FailingStartup;
  sockets.Install();
  startups = 0;
  try {
    TcpClient client;
    FAIL();
  } catch (const StackInitializationError& e) {
    EXPECT_STREQ(e.what(), "Winsock Initialization Error.");
  }
  EXPECT_EQ(startups, 1);
  EXPECT_EQ(SocketStackUsers(), 0);
  EXPECT_FALSE(SocketStackExists());

  sockets.ops.startup = CountingStartup;
  { TcpClient client; }
  EXPECT_EQ(startups, 2);
}

TEST(SocketStack, TwoClientsInARowCreateTheStackTwiceAndStartTheLibraryOnce) {
  testing::ReplacedSockets sockets;
  sockets.ops.startup = CountingStartup;
  sockets.Install();
  startups = 0;
  {
    TcpClient first;
    EXPECT_TRUE(SocketStackExists());
    EXPECT_EQ(SocketStackUsers(), 1);
  }
  EXPECT_FALSE(SocketStackExists());
  EXPECT_EQ(SocketStackUsers(), 0);
  const int after_first = startups;
  EXPECT_LE(after_first, 1);
  {
    TcpClient second;
    EXPECT_TRUE(SocketStackExists());
  }
  EXPECT_FALSE(SocketStackExists());
  EXPECT_EQ(startups, after_first);
}

TEST(SocketStack, UsersFromManyThreadsAreCountedExactly) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 300; ++i) {
        StackUser outer;
        StackUser inner;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(SocketStackUsers(), 0);
  EXPECT_FALSE(SocketStackExists());
}

}  // namespace
}  // namespace sd::transport
