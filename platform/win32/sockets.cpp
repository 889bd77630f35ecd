// The socket services on Windows: WS2_32.DLL is loaded by name when the socket layer first starts, and
// each of its functions is looked up by name on its first call. Failures keep Winsock's own codes.
#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "platform/lookup_thread.h"
#include "platform/win32/text_win32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

namespace sd::platform {
namespace {

constexpr int kNotInitialised = WSANOTINITIALISED;  // 10093: a call before the library was loaded
constexpr int kCallFailed = WSASYSCALLFAILURE;      // a function that the library does not export

thread_local int last_socket_error = 0;
// The function of this thread's last failed call when it failed for want of the library.
thread_local const char* unloaded_call = nullptr;

// Set once the library is loaded; it stays loaded until the process ends.
std::atomic<HMODULE> g_library{nullptr};
// Whether the system's IPv6 support library is there with its address functions. The exchanges use IPv4
// only; the library is probed beside WS2_32.DLL, outside the loader lock, and kept while it is used as
// WS2_32.DLL is.
std::atomic<bool> g_ipv6_available{false};

void ProbeIpv6Library() {
  const HMODULE library = ::LoadLibraryA("Wship6.dll");
  if (library == nullptr) return;
  if (::GetProcAddress(library, "getaddrinfo") != nullptr && ::GetProcAddress(library, "getnameinfo") != nullptr &&
      ::GetProcAddress(library, "freeaddrinfo") != nullptr) {
    g_ipv6_available.store(true, std::memory_order_release);
  } else {
    ::FreeLibrary(library);
  }
}

// One function of the library: its exported name and, once bound, its entry point. Two threads that bind
// the same function at once store the same address.
template <typename Function>
struct Bound {
  const char* name;
  std::atomic<Function*> entry{nullptr};

  Function* Get() {
    Function* function = entry.load(std::memory_order_acquire);
    if (function != nullptr) return function;
    const HMODULE library = g_library.load(std::memory_order_acquire);
    if (library == nullptr) {
      last_socket_error = kNotInitialised;
      unloaded_call = name;
      return nullptr;
    }
    function = reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
    if (function == nullptr) {
      last_socket_error = kCallFailed;
      unloaded_call = nullptr;
      return nullptr;
    }
    entry.store(function, std::memory_order_release);
    return function;
  }
};

Bound<int WSAAPI(WORD, LPWSADATA)> g_startup{"WSAStartup"};
Bound<int WSAAPI()> g_cleanup{"WSACleanup"};
Bound<int WSAAPI()> g_get_last_error{"WSAGetLastError"};
Bound<SOCKET WSAAPI(int, int, int)> g_socket{"socket"};
Bound<int WSAAPI(SOCKET, const sockaddr*, int)> g_bind{"bind"};
Bound<int WSAAPI(SOCKET, const sockaddr*, int)> g_connect{"connect"};
Bound<int WSAAPI(SOCKET, int)> g_listen{"listen"};
Bound<SOCKET WSAAPI(SOCKET, sockaddr*, int*)> g_accept{"accept"};
Bound<int WSAAPI(SOCKET, const char*, int, int)> g_send{"send"};
Bound<int WSAAPI(SOCKET, char*, int, int)> g_recv{"recv"};
Bound<int WSAAPI(int, fd_set*, fd_set*, fd_set*, const timeval*)> g_select{"select"};
Bound<int WSAAPI(SOCKET, int)> g_shutdown{"shutdown"};
Bound<int WSAAPI(SOCKET)> g_closesocket{"closesocket"};
Bound<int WSAAPI(SOCKET, int, int, const char*, int)> g_setsockopt{"setsockopt"};
Bound<int WSAAPI(SOCKET, int, int, char*, int*)> g_getsockopt{"getsockopt"};
Bound<int WSAAPI(SOCKET, long, u_long*)> g_ioctlsocket{"ioctlsocket"};
Bound<int WSAAPI(SOCKET, sockaddr*, int*)> g_getsockname{"getsockname"};
Bound<int WSAAPI(SOCKET, sockaddr*, int*)> g_getpeername{"getpeername"};
Bound<hostent* WSAAPI(const char*)> g_gethostbyname{"gethostbyname"};
Bound<int WSAAPI(char*, int)> g_gethostname{"gethostname"};

// A failed call of the library: its own code, kept for `last_error` on this thread.
int Failed() {
  auto* get_last_error = g_get_last_error.Get();
  last_socket_error = get_last_error != nullptr ? get_last_error() : kCallFailed;
  unloaded_call = nullptr;
  return -1;
}

// The system ends its texts with a full stop; the caller adds its own punctuation.
std::string LoadFailureText(DWORD code) {
  std::string message = win32::SystemMessage(code);
  while (!message.empty() && message.back() == '.') message.pop_back();
  return message;
}

bool LoadSocketLibrary(std::uint32_t* system_error, std::string* system_error_text) {
  if (g_library.load(std::memory_order_acquire) != nullptr) return true;
  const HMODULE library = ::LoadLibraryA("WS2_32.DLL");
  if (library == nullptr) {
    const DWORD code = ::GetLastError();
    *system_error = code;
    *system_error_text = LoadFailureText(code);
    return false;
  }
  // A second load by another thread only adds a reference that is never dropped, as the first is not.
  if (g_library.exchange(library, std::memory_order_acq_rel) == nullptr) ProbeIpv6Library();
  return true;
}

int Startup(std::uint16_t version) {
  auto* startup = g_startup.Get();
  if (startup == nullptr) return last_socket_error;
  WSADATA data{};
  return startup(version, &data);
}

void Cleanup() {
  if (auto* cleanup = g_cleanup.Get()) cleanup();
}

sockaddr_in ToNative(const SocketAddress& address) {
  sockaddr_in native{};
  native.sin_family = static_cast<ADDRESS_FAMILY>(address.family);
  std::memcpy(&native.sin_addr, address.address.data(), 4);
  native.sin_port = static_cast<u_short>((address.port >> 8) | (address.port << 8));
  return native;
}

void FromNative(const sockaddr_storage& native, SocketAddress* address) {
  *address = SocketAddress{};
  address->family = native.ss_family;
  if (native.ss_family != AF_INET) return;
  const auto& in = reinterpret_cast<const sockaddr_in&>(native);
  std::memcpy(address->address.data(), &in.sin_addr, 4);
  address->port = static_cast<std::uint16_t>((in.sin_port >> 8) | ((in.sin_port & 0xFF) << 8));
}

SocketHandle Socket(int family, int type, int protocol) {
  auto* open = g_socket.Get();
  if (open == nullptr) return kNoSocket;
  const SOCKET handle = open(family, type, protocol);
  if (handle == INVALID_SOCKET) {
    Failed();
    return kNoSocket;
  }
  return static_cast<SocketHandle>(handle);
}

int Bind(SocketHandle socket, const SocketAddress& address) {
  auto* bind = g_bind.Get();
  if (bind == nullptr) return -1;
  const sockaddr_in native = ToNative(address);
  return bind(socket, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0 ? 0 : Failed();
}

int Connect(SocketHandle socket, const SocketAddress& address) {
  auto* connect = g_connect.Get();
  if (connect == nullptr) return -1;
  const sockaddr_in native = ToNative(address);
  return connect(socket, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0 ? 0 : Failed();
}

int SetBlocking(SocketHandle socket, bool blocking) {
  auto* ioctl = g_ioctlsocket.Get();
  if (ioctl == nullptr) return -1;
  u_long non_blocking = blocking ? 0 : 1;
  return ioctl(socket, static_cast<long>(FIONBIO), &non_blocking) == 0 ? 0 : Failed();
}

int ConnectWithin(SocketHandle socket, const SocketAddress& address, int limit_ms) {
  if (limit_ms < 0) return Connect(socket, address);
  auto* connect = g_connect.Get();
  auto* select = g_select.Get();
  auto* getsockopt = g_getsockopt.Get();
  if (connect == nullptr || select == nullptr || getsockopt == nullptr) return -1;
  // The socket is blocking before and after: only the attempt itself is made without blocking.
  if (SetBlocking(socket, false) != 0) return -1;
  const sockaddr_in native = ToNative(address);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) {
    SetBlocking(socket, true);
    return 0;
  }
  Failed();
  if (last_socket_error != WSAEWOULDBLOCK) {
    const int error = last_socket_error;
    SetBlocking(socket, true);
    last_socket_error = error;
    return -1;
  }
  // Winsock reports a failed attempt in the exception set, a made connection in the write set.
  fd_set writable{}, failed{};
  writable.fd_count = failed.fd_count = 1;
  writable.fd_array[0] = failed.fd_array[0] = socket;
  const timeval limit{limit_ms / 1000, (limit_ms % 1000) * 1000};
  const int ready = select(0, nullptr, &writable, &failed, &limit);
  if (ready < 0) {
    Failed();
    const int error = last_socket_error;
    SetBlocking(socket, true);
    last_socket_error = error;
    return -1;
  }
  SetBlocking(socket, true);
  if (ready == 0) return -2;
  if (failed.fd_count == 0) return 0;
  int error = 0;
  int length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) return Failed();
  last_socket_error = error != 0 ? error : WSAECONNREFUSED;
  return -1;
}

int Listen(SocketHandle socket, int backlog) {
  auto* listen = g_listen.Get();
  if (listen == nullptr) return -1;
  return listen(socket, backlog) == 0 ? 0 : Failed();
}

// A listener keeps its port to itself: SO_EXCLUSIVEADDRUSE stops another socket from binding over it,
// which SO_REUSEADDR would allow on Windows.
SocketHandle OpenListener(const SocketAddress& address, int backlog) {
  const SocketHandle socket = Socket(kAddressFamilyInet, kSocketStream, 0);
  if (socket == kNoSocket) return kNoSocket;
  if (auto* setsockopt = g_setsockopt.Get()) {
    const BOOL on = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  }
  if (Bind(socket, address) != 0 || Listen(socket, backlog) != 0) {
    const int error = last_socket_error;
    if (auto* closesocket = g_closesocket.Get()) closesocket(socket);
    last_socket_error = error;
    return kNoSocket;
  }
  return socket;
}

SocketHandle Accept(SocketHandle socket, SocketAddress* peer) {
  auto* accept = g_accept.Get();
  if (accept == nullptr) return kNoSocket;
  sockaddr_storage native{};
  int length = sizeof native;
  const SOCKET handle = accept(socket, reinterpret_cast<sockaddr*>(&native), &length);
  if (handle == INVALID_SOCKET) {
    Failed();
    return kNoSocket;
  }
  if (peer != nullptr) FromNative(native, peer);
  return static_cast<SocketHandle>(handle);
}

int Send(SocketHandle socket, const void* bytes, int length) {
  auto* send = g_send.Get();
  if (send == nullptr) return -1;
  const int sent = send(socket, static_cast<const char*>(bytes), std::max(length, 0), 0);
  return sent == SOCKET_ERROR ? Failed() : sent;
}

int Recv(SocketHandle socket, void* buffer, int length) {
  auto* recv = g_recv.Get();
  if (recv == nullptr) return -1;
  const int got = recv(socket, static_cast<char*>(buffer), std::max(length, 0), 0);
  return got == SOCKET_ERROR ? Failed() : got;
}

int Select(HandleSet* read_set, const WaitLimit* limit) {
  auto* select = g_select.Get();
  if (select == nullptr) return -1;
  if (read_set->count > static_cast<std::uint32_t>(kHandleSetSize)) {
    last_socket_error = WSAEINVAL;
    return -1;
  }
  fd_set native{};
  native.fd_count = read_set->count;
  for (std::uint32_t i = 0; i < read_set->count; ++i) native.fd_array[i] = read_set->handles[i];
  timeval wait{};
  if (limit != nullptr) wait = timeval{limit->seconds, limit->microseconds};
  const int ready = select(0, &native, nullptr, nullptr, limit != nullptr ? &wait : nullptr);
  if (ready == SOCKET_ERROR) return Failed();
  read_set->count = native.fd_count;
  for (u_int i = 0; i < native.fd_count; ++i) read_set->handles[i] = static_cast<SocketHandle>(native.fd_array[i]);
  return static_cast<int>(native.fd_count);
}

int Shutdown(SocketHandle socket, int how) {
  auto* shutdown = g_shutdown.Get();
  if (shutdown == nullptr) return -1;
  return shutdown(socket, how) == 0 ? 0 : Failed();
}

int CloseSocket(SocketHandle socket) {
  auto* closesocket = g_closesocket.Get();
  if (closesocket == nullptr) return -1;
  return closesocket(socket) == 0 ? 0 : Failed();
}

// The layer above already passes Winsock's levels, options and value layouts.
int SetSockOpt(SocketHandle socket, int level, int option, const void* value, int length) {
  auto* setsockopt = g_setsockopt.Get();
  if (setsockopt == nullptr) return -1;
  return setsockopt(socket, level, option, static_cast<const char*>(value), length) == 0 ? 0 : Failed();
}

int EndpointOf(Bound<int WSAAPI(SOCKET, sockaddr*, int*)>& bound, SocketHandle socket, SocketAddress* address) {
  auto* get = bound.Get();
  if (get == nullptr) return -1;
  sockaddr_storage native{};
  int length = sizeof native;
  if (get(socket, reinterpret_cast<sockaddr*>(&native), &length) != 0) return Failed();
  FromNative(native, address);
  return 0;
}

int GetSockName(SocketHandle socket, SocketAddress* address) { return EndpointOf(g_getsockname, socket, address); }
int GetPeerName(SocketHandle socket, SocketAddress* address) { return EndpointOf(g_getpeername, socket, address); }

// Winsock keeps the result of gethostbyname per thread, so concurrent lookups do not disturb each other.
int LookupIpv4(const char* name, std::array<std::uint8_t, 4>* address) {
  auto* gethostbyname = g_gethostbyname.Get();
  if (gethostbyname == nullptr) return -1;
  const hostent* found = gethostbyname(name);
  if (found == nullptr) return Failed();
  if (found->h_addrtype != AF_INET || found->h_length != 4 || found->h_addr_list == nullptr ||
      found->h_addr_list[0] == nullptr) {
    last_socket_error = WSANO_DATA;
    return -1;
  }
  std::memcpy(address->data(), found->h_addr_list[0], 4);
  return 0;
}

// A lookup on a thread of its own, so that the caller can stop waiting for a slow name server.
int LookupIpv4Within(const char* name, std::array<std::uint8_t, 4>* address, int limit_ms) {
  return limit_ms < 0 ? LookupIpv4(name, address) : LookupOnThread(&LookupIpv4, name, address, limit_ms);
}

int GetHostName(char* buffer, int length) {
  auto* gethostname = g_gethostname.Get();
  if (gethostname == nullptr) return -1;
  if (length <= 0) {
    last_socket_error = WSAEFAULT;
    return -1;
  }
  if (gethostname(buffer, length) != 0) return Failed();
  buffer[length - 1] = '\0';
  return 0;
}

int LastError() { return last_socket_error; }

bool CallBeforeLoad(std::string* function, std::string* system_text) {
  if (unloaded_call == nullptr || last_socket_error != kNotInitialised) return false;
  *function = unloaded_call;
  // Not every system has a text for Winsock's codes (Wine has none); the code then stands for it.
  *system_text = win32::SystemMessage(kNotInitialised);
  if (system_text->empty()) *system_text = "error " + std::to_string(kNotInitialised);
  return true;
}

}  // namespace

SD_DEFINE_CALL_TABLE(SocketOps, SD_SOCKET_CALLS)

void SetLastSocketError(int code) {
  last_socket_error = code;
  unloaded_call = nullptr;
}

}  // namespace sd::platform
