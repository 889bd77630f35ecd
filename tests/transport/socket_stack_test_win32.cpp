// What Windows alone has: a socket call made before the socket library is loaded, which names the
// function and the system's text for the code.
#include <gtest/gtest.h>

#include <string>

#include "transport/socket_ops.h"
#include "transport/transport_errors.h"

namespace sd::transport {
namespace {

// First in its program, while the library is not loaded.
TEST(SocketLibrary, ACallBeforeTheLoadNamesTheFunctionAndTheSystemsText) {
  try {
    OpenTcpSocket();
    FAIL() << "a socket without the library";
  } catch (const SocketLibraryError& e) {
    EXPECT_EQ(e.Title(), "Error on call Winsock2 library function socket");
    EXPECT_EQ(e.SystemError(), 10093u);
    EXPECT_FALSE(e.SystemErrorText().empty());
    EXPECT_EQ(std::string(e.what()), e.Title() + ": " + e.SystemErrorText());
  }
}

}  // namespace
}  // namespace sd::transport
