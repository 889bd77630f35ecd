// The transport's message table: the client's messages and statuses, the stack's errors and the texts
// of the socket error codes in the Winsock numbering.
#include "transport/transport_texts.h"

#include <algorithm>
#include <iterator>
#include <utility>

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

constexpr std::pair<int, std::string_view> kSocketErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

}  // namespace

std::string_view Text(TransportText id) { return kTexts[static_cast<std::size_t>(id)]; }

std::string FormatText(TransportText id, std::string_view argument) {
  std::string text(Text(id));
  if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

std::string SocketErrorText(int code) {
  std::string message = "Socket Error # " + std::to_string(code) + "\r\n";
  const auto* entry = std::find_if(std::begin(kSocketErrorTexts), std::end(kSocketErrorTexts),
                                   [code](const auto& e) { return e.first == code; });
  if (entry != std::end(kSocketErrorTexts)) message += entry->second;
  return message;
}

}  // namespace sd::transport
