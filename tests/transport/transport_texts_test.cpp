// The socket error messages and the kinds they are raised as.
#include "transport/transport_texts.h"

#include <gtest/gtest.h>

#include "platform/socket_errors.h"
#include "transport/socket_ops.h"
#include "transport/transport_errors.h"

namespace sd::transport {
namespace {

using sd::platform::kWsaEConnRefused;
using sd::platform::kWsaEConnReset;
using sd::platform::kWsaEIntr;
using sd::platform::kWsaENotEmpty;
using sd::platform::kWsaENotSock;
using sd::platform::kWsaETimedOut;
using sd::platform::kWsaHostNotFound;
using sd::platform::kWsaNoData;
using sd::platform::kWsaNotInitialised;
using sd::platform::kWsaSysNotReady;
using sd::platform::kWsaTryAgain;

TEST(SocketErrorText, ComposesTheNumberLineAndTheTableText) {
  const struct {
    int code;
    const char* message;
  } cases[] = {
      {kWsaEIntr, "Socket Error # 10004\r\nInterrupted system call."},
      {kWsaEConnReset, "Socket Error # 10054\r\nConnection reset by peer."},
      {kWsaEConnRefused, "Socket Error # 10061\r\nConnection refused."},
      {kWsaENotEmpty, "Socket Error # 10066\r\nDirectory not empty"},  // the one text without a full stop
      {kWsaHostNotFound, "Socket Error # 11001\r\nHost not found."},
      // Codes the table lacks give the bare number line.
      {kWsaSysNotReady, "Socket Error # 10091\r\n"},
      {kWsaNotInitialised, "Socket Error # 10093\r\n"},
      {kWsaTryAgain, "Socket Error # 11002\r\n"},
      {kWsaNoData, "Socket Error # 11004\r\n"},
      {0, "Socket Error # 0\r\n"},
      {-1, "Socket Error # -1\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(SocketErrorText(c.code), c.message) << c.code;
}

TEST(ThrowSocketError, RaisesTheKindForTheCodeWithItsMessage) {
  try {
    ThrowSocketError(kWsaENotSock);
    FAIL();
  } catch (const NotASocketError& e) {
    EXPECT_EQ(e.ErrorCode(), kWsaENotSock);
    EXPECT_STREQ(e.what(), "Socket Error # 10038\r\nSocket operation on non-socket.");
  }
  // Any other code is a plain SocketError, caught by the exchange's one base.
  try {
    ThrowSocketError(kWsaETimedOut);
    FAIL();
  } catch (const NotASocketError&) {
    FAIL() << "10060 is not the not-a-socket kind";
  } catch (const sd::Exception& e) {
    const auto* socket_error = dynamic_cast<const SocketError*>(&e);
    ASSERT_NE(socket_error, nullptr);
    EXPECT_EQ(socket_error->ErrorCode(), kWsaETimedOut);
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
