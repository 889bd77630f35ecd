// The socket error messages and the kinds they are raised as.
#include "transport/transport_texts.h"

#include <gtest/gtest.h>

#include "transport/socket_ops.h"
#include "transport/transport_errors.h"

namespace sd::transport {
namespace {

TEST(SocketErrorText, ComposesTheNumberLineAndTheTableText) {
  const struct {
    int code;
    const char* message;
  } cases[] = {
      {10004, "Socket Error # 10004\r\nInterrupted system call."},
      {10054, "Socket Error # 10054\r\nConnection reset by peer."},
      {10061, "Socket Error # 10061\r\nConnection refused."},
      {10066, "Socket Error # 10066\r\nDirectory not empty"},  // the one text without a full stop
      {11001, "Socket Error # 11001\r\nHost not found."},
      // Codes the table lacks give the bare number line.
      {10091, "Socket Error # 10091\r\n"},
      {10093, "Socket Error # 10093\r\n"},
      {11002, "Socket Error # 11002\r\n"},
      {11004, "Socket Error # 11004\r\n"},
      {0, "Socket Error # 0\r\n"},
      {-1, "Socket Error # -1\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(SocketErrorText(c.code), c.message) << c.code;
}

TEST(ThrowSocketError, RaisesTheKindForTheCodeWithItsMessage) {
  try {
    ThrowSocketError(10038);
    FAIL();
  } catch (const NotASocketError& e) {
    EXPECT_EQ(e.ErrorCode(), 10038);
    EXPECT_STREQ(e.what(), "Socket Error # 10038\r\nSocket operation on non-socket.");
  }
  // Any other code is a plain SocketError, caught by the exchange's one base.
  try {
    ThrowSocketError(10060);
    FAIL();
  } catch (const NotASocketError&) {
    FAIL() << "10060 is not the not-a-socket kind";
  } catch (const sd::Exception& e) {
    const auto* socket_error = dynamic_cast<const SocketError*>(&e);
    ASSERT_NE(socket_error, nullptr);
    EXPECT_EQ(socket_error->ErrorCode(), 10060);
    EXPECT_EQ(e.Message(), "Socket Error # 10060\r\nConnection timed out.");
  }
}

TEST(SocketLibraryError, AddsTheSystemTextOnlyWithASystemCode) {
  const SocketLibraryError with_code("Error on loading Winsock2 library (WS2_32.DLL)", 126, "Module not found");
  EXPECT_STREQ(with_code.what(), "Error on loading Winsock2 library (WS2_32.DLL): Module not found");
  const SocketLibraryError without_code("Title only", 0, "ignored");
  EXPECT_STREQ(without_code.what(), "Title only");
}

}  // namespace
}  // namespace sd::transport
