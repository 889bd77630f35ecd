// The socket services of the platform, shaped like Windows Sockets 2 so that the layer above keeps the
// Winsock numbering of constants and error codes on every system. Each call goes through a table of
// functions that a test may replace to make one system call fail on purpose.
//
// Every operation that can fail returns -1 (kNoSocket for `socket`) and leaves a Winsock error code
// that `last_error` reads back on the same thread; a replacement function reports its code with
// SetLastSocketError.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/call_table.h"

namespace sd::platform {

using SocketHandle = std::uint32_t;
inline constexpr SocketHandle kNoSocket = 0xFFFFFFFFu;

// Winsock values of the constants the layer above passes.
inline constexpr int kAddressFamilyInet = 2;
inline constexpr int kSocketStream = 1;
inline constexpr int kSocketDatagram = 2;
inline constexpr int kLevelTcp = 6;
inline constexpr int kTcpNoDelay = 1;
inline constexpr int kLevelSocket = 0xFFFF;
inline constexpr int kSocketReuseAddress = 0x0004;
inline constexpr int kSocketKeepAlive = 0x0008;
inline constexpr int kSocketSendBuffer = 0x1001;
inline constexpr int kSocketReceiveBuffer = 0x1002;
// Its value is Winsock's linger record: two 16-bit words, on/off then seconds.
inline constexpr int kSocketLinger = 0x0080;
inline constexpr int kShutdownReceive = 0;
inline constexpr int kShutdownSend = 1;
inline constexpr int kShutdownBoth = 2;

// An IPv4 socket address with the port in host order; the bytes are in network order (127, 0, 0, 1).
struct SocketAddress {
  int family = kAddressFamilyInet;
  std::array<std::uint8_t, 4> address{};
  std::uint16_t port = 0;
};

// The read set of a readability wait, as Winsock's fd_set: a count and up to 64 handles.
inline constexpr int kHandleSetSize = 64;
struct HandleSet {
  std::uint32_t count = 0;
  std::array<SocketHandle, kHandleSetSize> handles{};
};

// A wait limit, as Winsock's timeval.
struct WaitLimit {
  long seconds = 0;
  long microseconds = 0;
};

// The calls, one row each: XX(result, name, the system function's name, (parameters)).
#define SD_SOCKET_CALLS(XX)                                                                                    \
  /* Makes the socket library usable; a later call finds it loaded. False when it cannot be loaded; the        \
     system's code and its text are left in the arguments. */                                                  \
  XX(bool, load_library, LoadSocketLibrary, (std::uint32_t * system_error, std::string * system_error_text))   \
  /* Starts the library with the requested version word (0x0202); 0 on success, else a Winsock code. */        \
  XX(int, startup, Startup, (std::uint16_t version))                                                           \
  /* Undoes one startup; the library counts them, as Winsock does. The transport calls it once, at             \
     unload. */                                                                                                \
  XX(void, cleanup, Cleanup, ())                                                                               \
  XX(SocketHandle, socket, Socket, (int family, int type, int protocol))                                       \
  XX(int, bind, Bind, (SocketHandle socket, const SocketAddress& address))                                     \
  /* Blocks until the connection is made or has failed; a close of the socket from another thread ends         \
     the wait with a failure. */                                                                               \
  XX(int, connect, Connect, (SocketHandle socket, const SocketAddress& address))                               \
  /* The same within a limit in milliseconds (negative: none): 0 when connected, -1 with the last error        \
     set when the attempt failed, -2 when the limit ran out first (the socket is then left to be               \
     closed). */                                                                                               \
  XX(int, connect_within, ConnectWithin, (SocketHandle socket, const SocketAddress& address, int limit_ms))    \
  /* The listening side, used by tests and tools that play a server. */                                        \
  XX(int, listen, Listen, (SocketHandle socket, int backlog))                                                  \
  XX(SocketHandle, accept, Accept, (SocketHandle socket, SocketAddress * peer))                                \
  /* A stream socket bound to the address and listening; kNoSocket on failure. A port that an earlier          \
     listener has just left can be taken again at once, a port that another socket listens on never. */        \
  XX(SocketHandle, open_listener, OpenListener, (const SocketAddress& address, int backlog))                   \
  /* Never raises a broken-pipe signal. */                                                                     \
  XX(int, send, Send, (SocketHandle socket, const void* bytes, int length))                                    \
  XX(int, recv, Recv, (SocketHandle socket, void* buffer, int length))                                         \
  /* Waits until a handle of the set is readable or the limit (nullptr: none) runs out; leaves only the        \
     readable handles in the set and returns their number. */                                                  \
  XX(int, select, Select, (HandleSet * read_set, const WaitLimit* limit))                                      \
  XX(int, shutdown, Shutdown, (SocketHandle socket, int how))                                                  \
  XX(int, closesocket, CloseSocket, (SocketHandle socket))                                                     \
  XX(int, setsockopt, SetSockOpt, (SocketHandle socket, int level, int option, const void* value, int length)) \
  XX(int, getsockname, GetSockName, (SocketHandle socket, SocketAddress * address))                            \
  XX(int, getpeername, GetPeerName, (SocketHandle socket, SocketAddress * address))                            \
  /* The first IPv4 address of a host name; thread-safe. Unknown host: kWsaHostNotFound. */                    \
  XX(int, lookup_ipv4, LookupIpv4, (const char* name, std::array<std::uint8_t, 4>* address))                   \
  /* The same within a limit in milliseconds (negative: none): 0 found, -1 with the last error set, -2         \
     when the limit ran out before the resolver answered. */                                                   \
  XX(int, lookup_ipv4_within, LookupIpv4Within,                                                                 \
     (const char* name, std::array<std::uint8_t, 4>* address, int limit_ms))                                   \
  XX(int, gethostname, GetHostName, (char* buffer, int length))                                                \
  /* The Winsock code of the calling thread's last failed call. */                                             \
  XX(int, last_error, LastError, ())                                                                           \
  /* Whether that call was made before the socket library was loaded, a state that Windows alone has:          \
     then the name the library exports the function under, and the system's text for its code                  \
     (10093). */                                                                                               \
  XX(bool, call_before_load, CallBeforeLoad, (std::string * function, std::string * system_text))

struct SocketOps {
  SD_SOCKET_CALLS(SD_CALL_FIELD)
};

// The operations in force (Sockets()), the system's own ones (SystemSockets()), and SetSockets(), which
// installs another table (nullptr brings back the system's) and returns the one it replaced.
SD_CALL_TABLE_FUNCTIONS(SocketOps, Sockets)

void SetLastSocketError(int code);

}  // namespace sd::platform
