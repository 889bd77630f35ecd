// The transport's message table: the client's messages and statuses, the stack's errors and the texts
// of the socket error codes in the Winsock numbering.
#include "transport/transport_texts.h"

#include <iterator>

#include "platform/socket_errors.h"

namespace sd::transport {
namespace {

constexpr std::string_view kTexts[] = {
    "Already connected.",
    "Connection Closed Gracefully.",
    "Read Timeout",
    "Connect timed out.",
    "Could not bind socket. Address and port are already in use.",
    "Resolving hostname %s.",
    "Connecting to %s.",
    "Connected.",
    "Disconnecting.",
    "Disconnected.",
    "Winsock Initialization Error.",
    "Set Size Exceeded.",
    "Stack Class is undefined.",
    "Stack already created.",
    "Error on loading Winsock2 library (%s)",
    "Error on call Winsock2 library function %s",
};
static_assert(std::size(kTexts) == static_cast<std::size_t>(TransportText::kErrorOnCallFunction) + 1);

// The text of a socket error code, from the same list that names the codes; empty for a code the list
// lacks.
std::string_view SocketCodeText(int code) {
  switch (code) {
#define SD_SOCKET_ERROR_TEXT(name, number, text) \
  case sd::platform::name:                       \
    return text;
    SD_SOCKET_ERRORS(SD_SOCKET_ERROR_TEXT)
#undef SD_SOCKET_ERROR_TEXT
    default:
      return {};
  }
}

}  // namespace

std::string_view Text(TransportText id) { return kTexts[static_cast<std::size_t>(id)]; }

std::string FormatText(TransportText id, std::string_view argument) {
  std::string text(Text(id));
  if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

std::string SocketErrorText(int code) {
  std::string message = "Socket Error # " + std::to_string(code) + "\r\n";
  message += SocketCodeText(code);
  return message;
}

}  // namespace sd::transport
