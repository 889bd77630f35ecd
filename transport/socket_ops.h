// The socket operations the TCP client needs, over the platform's socket services. Every failing call
// raises SocketError (NotASocketError for kWsaENotSock) with the composed message; range and conversion
// errors of the arguments are raised before any system call.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/sockets.h"
#include "transport/socket_set.h"

namespace sd::transport {

using sd::platform::SocketHandle;

struct Endpoint {
  std::string address;
  int port = 0;
};

// Returns a result other than -1 unchanged; -1 raises the calling thread's last socket error.
int CheckSocketResult(int result);
[[noreturn]] void ThrowSocketError(int code);

// An IPv4 stream socket.
SocketHandle OpenTcpSocket();
// An empty address binds to any address; port 0 lets the system choose.
void BindSocket(SocketHandle socket, std::string_view address, int port);
// Blocks until the system reports the outcome.
void ConnectSocket(SocketHandle socket, std::string_view address, int port);
// The same within limit_ms (negative: no limit); false when the limit ran out before the outcome.
bool ConnectSocketWithin(SocketHandle socket, std::string_view address, int port, int limit_ms);
// One send of `size` bytes from `offset` (-1: to the end); returns the count accepted.
int SendOnSocket(SocketHandle socket, std::span<const std::uint8_t> bytes, int offset = 0, int size = -1);
// One receive of up to the buffer's length; 0 means the peer closed its side in order.
int ReceiveOnSocket(SocketHandle socket, std::span<std::uint8_t> buffer);
Endpoint LocalEndpoint(SocketHandle socket);
Endpoint PeerEndpoint(SocketHandle socket);
void SetTcpOption(SocketHandle socket, int level, int option, std::int32_t value);
// Shuts the sending side and closes; never raises.
void CloseSocketHandle(SocketHandle socket) noexcept;
// True when a handle of the set is readable (an orderly close by the peer counts) within the
// time-out in ms; -2 waits without limit, 0 polls once.
bool WaitReadable(const SocketSet& set, int timeout_ms);

// "localhost" in any letter case is 127.0.0.1 without a lookup, a dotted quad is itself, and any other
// name is looked up, within limit_ms when it is not negative.
std::string ResolveToAddress(std::string_view host, int limit_ms = -1);

// The first IPv4 address of a name; an unknown name raises SocketError kWsaHostNotFound. With a limit
// that is not negative, a resolver that has not answered by then raises "Connect timed out.": the
// lookup is the first part of a connect with a time-out.
std::string LookupHostAddress(std::string_view name, int limit_ms = -1);

}  // namespace sd::transport
