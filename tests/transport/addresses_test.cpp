// Dotted quads, address conversions and name resolution.
#include "transport/addresses.h"

#include <gtest/gtest.h>

#include "platform/socket_errors.h"
#include "smartdriver/errors.h"
#include "transport/socket_ops.h"
#include "transport/socket_ops_fakes.h"
#include "transport/socket_stack.h"
#include "transport/transport_errors.h"

namespace sd::transport {
namespace {

using sd::platform::kWsaHostNotFound;

TEST(IsDottedQuad, AcceptsFourPartsOfZeroTo255) {
  const struct {
    const char* text;
    bool dotted;
  } cases[] = {
      {"192.168.0.1", true},    {"192.168.0.1.", true},   {"10.0.0.5 ", true},     {" 10. 0 .0\t.5", true},
      {"0.0.0.0", true},        {"255.255.255.255", true}, {"127.000.0.01", true},
      {"192.168.0", false},     {"192.168.0.1.5", false}, {"256.1.1.1", false},    {"1.1.1.256", false},
      {"-1.2.3.4", false},      {"localhost", false},     {"", false},             {"1..2.3", false},
      {"a.b.c.d", false},       {"1.2.3.4..", false},     {"99999999999.1.1.1", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDottedQuad(c.text), c.dotted) << '"' << c.text << '"';
}

TEST(AddressText, ConvertsBothWays) {
  EXPECT_EQ(AddressToText({127, 0, 0, 1}), "127.0.0.1");
  EXPECT_EQ(AddressToText({255, 10, 0, 200}), "255.10.0.200");
  EXPECT_EQ(TextToAddress("192.168.0.1"), (Ipv4Bytes{192, 168, 0, 1}));
  EXPECT_EQ(TextToAddress(" 10.0.0.5. "), (Ipv4Bytes{10, 0, 0, 5}));
  EXPECT_THROW(TextToAddress("1.2.3.256"), sd::ERangeError);
  EXPECT_THROW(TextToAddress("1.-2.3.4"), sd::ERangeError);
  EXPECT_THROW(TextToAddress("1.2.x.4"), sd::EConvertError);
  EXPECT_THROW(TextToAddress("1.2.3"), sd::EConvertError);
  EXPECT_THROW(TextToAddress("1.2.3.4.5"), sd::EConvertError);
  try {
    TextToAddress("1.2.abc.4");
  } catch (const sd::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

int lookups = 0;
int CountingLookup(const char*, std::array<std::uint8_t, 4>* address) {
  ++lookups;
  *address = {10, 1, 2, 3};
  return 0;
}

TEST(ResolveToAddress, LooksUpOnlyNamesOtherThanLocalhost) {
  testing::ReplacedSockets sockets;
  sockets.ops.lookup_ipv4 = CountingLookup;
  sockets.Install();
  lookups = 0;
  for (const char* host : {"localhost", "LocalHost", "LOCALHOST"}) EXPECT_EQ(ResolveToAddress(host), "127.0.0.1");
  EXPECT_EQ(ResolveToAddress("10.0.0.5 "), "10.0.0.5 ");
  EXPECT_EQ(lookups, 0);
  EXPECT_EQ(ResolveToAddress("server.example"), "10.1.2.3");
  EXPECT_EQ(lookups, 1);
}

TEST(LookupHostAddress, UnknownHostIsHostNotFound) {
  StackUser stack;  // Winsock answers nothing before it is started.
  for (const char* host : {"no-such-host.invalid", "smartdriver-test.invalid"}) {
    try {
      ResolveToAddress(host);
      FAIL() << host;
    } catch (const SocketError& e) {
      EXPECT_EQ(e.ErrorCode(), kWsaHostNotFound);
      EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
    }
  }
}

}  // namespace
}  // namespace sd::transport
