// The socket services on POSIX: BSD sockets, with each errno turned into the Winsock code that the
// transport's error texts are numbered by.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "platform/lookup_thread.h"
#include "platform/socket_errors.h"

namespace sd::platform {
namespace {

thread_local int last_socket_error = 0;

// Winsock reports its own failures by these codes; everything the system can say is mapped onto them.
// A code that nothing matches becomes kWsaSysCallFailure, which has no text of its own.
int WinsockCode(int error) {
  switch (error) {
    case EINTR: return kWsaEIntr;
    case EBADF: return kWsaEBadF;
    case EACCES:
    case EPERM: return kWsaEAcces;  // a firewall rule refuses a connect with EPERM
    case EFAULT: return kWsaEFault;
    case EINVAL: return kWsaEInval;
    case EMFILE:
    case ENFILE: return kWsaEMFile;
    case EAGAIN: return kWsaEWouldBlock;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return kWsaEWouldBlock;
#endif
    case EINPROGRESS: return kWsaEInProgress;
    case EALREADY: return kWsaEAlready;
    case ENOTSOCK: return kWsaENotSock;
    case EDESTADDRREQ: return kWsaEDestAddrReq;
    case EMSGSIZE: return kWsaEMsgSize;
    case EPROTOTYPE: return kWsaEPrototype;
    case ENOPROTOOPT: return kWsaENoProtoOpt;
    case EPROTONOSUPPORT: return kWsaEProtoNoSupport;
    case ESOCKTNOSUPPORT: return kWsaESocktNoSupport;
    case EOPNOTSUPP: return kWsaEOpNotSupp;
#if defined(ENOTSUP) && ENOTSUP != EOPNOTSUPP
    case ENOTSUP: return kWsaEOpNotSupp;
#endif
    case EPFNOSUPPORT: return kWsaEPfNoSupport;
    case EAFNOSUPPORT: return kWsaEAfNoSupport;
    case EADDRINUSE: return kWsaEAddrInUse;
    case EADDRNOTAVAIL: return kWsaEAddrNotAvail;
    case ENETDOWN: return kWsaENetDown;
    case ENETUNREACH: return kWsaENetUnreach;
    case ENETRESET: return kWsaENetReset;
    case ECONNABORTED: return kWsaEConnAborted;
    case ECONNRESET: return kWsaEConnReset;
    // A send raises EPIPE only once the connection is broken: after the peer's reset, or after both
    // sides are done. Winsock reports such a send as a reset, and the transport never shuts its own
    // sending side before it stops sending, so "reset by peer" is the true account here.
    case EPIPE: return kWsaEConnReset;
    case ENOBUFS:
    case ENOMEM: return kWsaENoBufs;
    case EISCONN: return kWsaEIsConn;
    case ENOTCONN: return kWsaENotConn;
    case ESHUTDOWN: return kWsaEShutdown;
    case ETOOMANYREFS: return kWsaETooManyRefs;
    case ETIMEDOUT: return kWsaETimedOut;
    case ECONNREFUSED: return kWsaEConnRefused;
    case ELOOP: return kWsaELoop;
    case ENAMETOOLONG: return kWsaENameTooLong;
    case EHOSTDOWN: return kWsaEHostDown;
    case EHOSTUNREACH: return kWsaEHostUnreach;
    case ENOTEMPTY: return kWsaENotEmpty;
#ifdef EUSERS
    case EUSERS: return kWsaEUsers;
#endif
    case EDQUOT: return kWsaEDQuot;
    case ESTALE: return kWsaEStale;
#ifdef EREMOTE
    case EREMOTE: return kWsaERemote;
#endif
    default: return kWsaSysCallFailure;
  }
}

int Fail(int error) {
  last_socket_error = WinsockCode(error);
  return -1;
}

int Fd(SocketHandle socket) { return socket == kNoSocket ? -1 : static_cast<int>(socket); }

sockaddr_in ToNative(const SocketAddress& address) {
  sockaddr_in native{};
  native.sin_family = address.family == kAddressFamilyInet ? AF_INET : static_cast<sa_family_t>(address.family);
  std::memcpy(&native.sin_addr, address.address.data(), 4);
  native.sin_port = htons(address.port);
  return native;
}

void FromNative(const sockaddr_storage& native, SocketAddress* address) {
  *address = SocketAddress{};
  if (native.ss_family != AF_INET) {
    address->family = native.ss_family;
    return;
  }
  const auto& in = reinterpret_cast<const sockaddr_in&>(native);
  address->family = kAddressFamilyInet;
  std::memcpy(address->address.data(), &in.sin_addr, 4);
  address->port = ntohs(in.sin_port);
}

bool LoadSocketLibrary(std::uint32_t*, std::string*) { return true; }
int Startup(std::uint16_t) { return 0; }
void Cleanup() {}

SocketHandle Socket(int family, int type, int protocol) {
  if (family != kAddressFamilyInet) {
    Fail(EAFNOSUPPORT);
    return kNoSocket;
  }
  int native_type = type == kSocketStream ? SOCK_STREAM : type == kSocketDatagram ? SOCK_DGRAM : -1;
  if (native_type < 0) {
    Fail(ESOCKTNOSUPPORT);
    return kNoSocket;
  }
#ifdef SOCK_CLOEXEC
  native_type |= SOCK_CLOEXEC;
#endif
  const int fd = ::socket(AF_INET, native_type, protocol);
  if (fd < 0) {
    Fail(errno);
    return kNoSocket;
  }
#ifdef SO_NOSIGPIPE
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
  return static_cast<SocketHandle>(fd);
}

int Bind(SocketHandle socket, const SocketAddress& address) {
  const sockaddr_in native = ToNative(address);
  if (::bind(Fd(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native) != 0) return Fail(errno);
  return 0;
}

// A signal may interrupt a blocking connect while the attempt goes on in the background; Winsock's
// blocking connect is not interrupted, so the outcome is awaited here instead.
int FinishInterruptedConnect(int fd) {
  pollfd entry{fd, POLLOUT, 0};
  while (::poll(&entry, 1, -1) < 0) {
    if (errno != EINTR) return Fail(errno);
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return Fail(errno);
  return error == 0 ? 0 : Fail(error);
}

int Connect(SocketHandle socket, const SocketAddress& address) {
  const sockaddr_in native = ToNative(address);
  const int fd = Fd(socket);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) return 0;
  if (errno == EINTR) return FinishInterruptedConnect(fd);
  return Fail(errno);
}

int ConnectWithin(SocketHandle socket, const SocketAddress& address, int limit_ms) {
  if (limit_ms < 0) return Connect(socket, address);
  const sockaddr_in native = ToNative(address);
  const int fd = Fd(socket);
  // The socket is blocking before and after: only the attempt itself is made without blocking.
  int on = 1;
  if (::ioctl(fd, FIONBIO, &on) != 0) return Fail(errno);
  const auto restore = [fd] {
    int off = 0;
    ::ioctl(fd, FIONBIO, &off);
  };
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) {
    restore();
    return 0;
  }
  if (errno != EINPROGRESS && errno != EINTR) {
    const int error = errno;
    restore();
    return Fail(error);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  pollfd entry{fd, POLLOUT, 0};
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int n = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    if (n > 0) break;
    if (n == 0) {
      restore();
      return -2;
    }
    if (errno != EINTR) {
      const int error = errno;
      restore();
      return Fail(error);
    }
  }
  restore();
  // Writable without an error or a hang-up is a made connection; otherwise the socket says why not.
  if ((entry.revents & (POLLERR | POLLHUP)) == 0) return 0;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return Fail(error != 0 ? error : ECONNREFUSED);
}

int Listen(SocketHandle socket, int backlog) {
  if (::listen(Fd(socket), backlog) != 0) return Fail(errno);
  return 0;
}

SocketHandle Accept(SocketHandle socket, SocketAddress* peer) {
  sockaddr_storage native{};
  for (;;) {
    socklen_t length = sizeof native;
#ifdef SOCK_CLOEXEC
    const int fd = ::accept4(Fd(socket), reinterpret_cast<sockaddr*>(&native), &length, SOCK_CLOEXEC);
#else
    const int fd = ::accept(Fd(socket), reinterpret_cast<sockaddr*>(&native), &length);
#endif
    if (fd >= 0) {
      if (peer) FromNative(native, peer);
      return static_cast<SocketHandle>(fd);
    }
    if (errno != EINTR) {
      Fail(errno);
      return kNoSocket;
    }
  }
}

SocketHandle OpenListener(const SocketAddress& address, int backlog) {
  const SocketHandle socket = Socket(kAddressFamilyInet, kSocketStream, 0);
  if (socket == kNoSocket) return kNoSocket;
  // Without it a restart on a fixed port waits out the last connections' TIME_WAIT; an active listener
  // still keeps the port to itself.
  const int on = 1;
  ::setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (Bind(socket, address) != 0 || Listen(socket, backlog) != 0) {
    const int error = last_socket_error;
    ::close(Fd(socket));
    last_socket_error = error;
    return kNoSocket;
  }
  return socket;
}

int Send(SocketHandle socket, const void* bytes, int length) {
#ifdef MSG_NOSIGNAL
  constexpr int kFlags = MSG_NOSIGNAL;
#else
  constexpr int kFlags = 0;  // the socket carries SO_NOSIGPIPE instead
#endif
  for (;;) {
    const ssize_t sent = ::send(Fd(socket), bytes, static_cast<size_t>(length < 0 ? 0 : length), kFlags);
    if (sent >= 0) return static_cast<int>(sent);
    if (errno != EINTR) return Fail(errno);
  }
}

int Recv(SocketHandle socket, void* buffer, int length) {
  for (;;) {
    const ssize_t got = ::recv(Fd(socket), buffer, static_cast<size_t>(length < 0 ? 0 : length), 0);
    if (got >= 0) return static_cast<int>(got);
    if (errno != EINTR) return Fail(errno);
  }
}

// Winsock's select takes any handle value; poll does the same here, without select's limit on the
// size of a descriptor.
int Select(HandleSet* read_set, const WaitLimit* limit) {
  using Clock = std::chrono::steady_clock;
  if (read_set->count > static_cast<std::uint32_t>(kHandleSetSize)) return Fail(EINVAL);
  if (limit && (limit->seconds < 0 || limit->microseconds < 0)) return Fail(EINVAL);
  pollfd entries[kHandleSetSize];
  const int count = static_cast<int>(read_set->count);
  for (int i = 0; i < count; ++i) entries[i] = pollfd{Fd(read_set->handles[i]), POLLIN, 0};

  Clock::time_point deadline{};
  if (limit) {
    deadline = Clock::now() + std::chrono::seconds(limit->seconds) +
               std::chrono::microseconds(limit->microseconds);
  }
  for (;;) {
    int wait_ms = -1;
    if (limit) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait_ms = left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    const int ready = ::poll(entries, static_cast<nfds_t>(count), wait_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Fail(errno);
    if (ready == 0 && limit && Clock::now() < deadline) continue;  // poll's clamp to INT_MAX ms
    break;
  }
  std::uint32_t kept = 0;
  for (int i = 0; i < count; ++i) {
    if (entries[i].revents & POLLNVAL) return Fail(ENOTSOCK);
    // An orderly close and a reset make a socket readable, as they do for Winsock's select.
    if (entries[i].revents & (POLLIN | POLLHUP | POLLERR)) read_set->handles[kept++] = read_set->handles[i];
  }
  read_set->count = kept;
  return static_cast<int>(kept);
}

int Shutdown(SocketHandle socket, int how) {
  const int native = how == kShutdownReceive ? SHUT_RD : how == kShutdownSend ? SHUT_WR : SHUT_RDWR;
  if (::shutdown(Fd(socket), native) != 0) return Fail(errno);
  return 0;
}

int CloseSocket(SocketHandle socket) {
  if (::close(Fd(socket)) != 0 && errno != EINTR) return Fail(errno);
  return 0;
}

int SetSockOpt(SocketHandle socket, int level, int option, const void* value, int length) {
  int native_level = -1, native_option = -1;
  if (level == kLevelTcp && option == kTcpNoDelay) {
    native_level = IPPROTO_TCP, native_option = TCP_NODELAY;
  } else if (level == kLevelSocket) {
    native_level = SOL_SOCKET;
    native_option = option == kSocketReuseAddress   ? SO_REUSEADDR
                    : option == kSocketKeepAlive    ? SO_KEEPALIVE
                    : option == kSocketSendBuffer   ? SO_SNDBUF
                    : option == kSocketReceiveBuffer ? SO_RCVBUF
                                                     : -1;
  }
  if (level == kLevelSocket && option == kSocketLinger) {
    // Winsock's linger record has 16-bit fields; the system's has ints.
    if (length < 4) return Fail(EFAULT);
    std::uint16_t words[2];
    std::memcpy(words, value, sizeof words);
    const linger native{words[0] != 0 ? 1 : 0, words[1]};
    if (::setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &native, sizeof native) != 0) return Fail(errno);
    return 0;
  }
  if (native_option < 0) return Fail(ENOPROTOOPT);
  if (length < 0) return Fail(EFAULT);
  if (::setsockopt(Fd(socket), native_level, native_option, value, static_cast<socklen_t>(length)) != 0)
    return Fail(errno);
  return 0;
}

int EndpointOf(int (*get)(int, sockaddr*, socklen_t*), SocketHandle socket, SocketAddress* address) {
  sockaddr_storage native{};
  socklen_t length = sizeof native;
  if (get(Fd(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0) return Fail(errno);
  FromNative(native, address);
  return 0;
}

int GetSockName(SocketHandle socket, SocketAddress* address) { return EndpointOf(::getsockname, socket, address); }
int GetPeerName(SocketHandle socket, SocketAddress* address) { return EndpointOf(::getpeername, socket, address); }

// Resolver failures in the Winsock numbering.
int ResolverCode(int result) {
  switch (result) {
    case EAI_NONAME: return kWsaHostNotFound;
    case EAI_AGAIN: return kWsaTryAgain;
#ifdef EAI_NODATA
    case EAI_NODATA: return kWsaNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return kWsaNoData;
#endif
    case EAI_MEMORY: return kWsaENoBufs;
    case EAI_SYSTEM: return WinsockCode(errno);
    default: return kWsaNoRecovery;
  }
}

// The first IPv4 address of what the resolver found; frees the list.
int FirstIpv4(addrinfo* found, std::array<std::uint8_t, 4>* address) {
  int outcome = -1;
  last_socket_error = kWsaNoData;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
      std::memcpy(address->data(), &in->sin_addr, 4);
      outcome = 0;
      break;
    }
  }
  ::freeaddrinfo(found);
  return outcome;
}

int LookupIpv4(const char* name, std::array<std::uint8_t, 4>* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = ::getaddrinfo(name, nullptr, &hints, &found);
  if (result != 0) {
    last_socket_error = ResolverCode(result);
    return -1;
  }
  return FirstIpv4(found, address);
}

// A lookup that the resolver carries out on its own thread, so that the caller can stop waiting for a
// slow name server. A request that can no longer be cancelled goes on writing into its record, so the
// record is then left to it rather than freed under it.
#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer cannot follow the threads that getaddrinfo_a starts inside the C library (it crashes
// in them), so a thread-checked build looks the name up on a thread of its own, with the same limit.
int LookupIpv4Within(const char* name, std::array<std::uint8_t, 4>* address, int limit_ms) {
  return limit_ms < 0 ? LookupIpv4(name, address) : LookupOnThread(&LookupIpv4, name, address, limit_ms);
}
#else
int LookupIpv4Within(const char* name, std::array<std::uint8_t, 4>* address, int limit_ms) {
  if (limit_ms < 0) return LookupIpv4(name, address);
  struct Request {
    std::string name;
    addrinfo hints{};
    gaicb block{};
  };
  auto request = std::make_unique<Request>();
  request->name = name;
  request->hints.ai_family = AF_INET;
  request->hints.ai_socktype = SOCK_STREAM;
  request->block.ar_name = request->name.c_str();
  request->block.ar_request = &request->hints;
  gaicb* list[1] = {&request->block};
  if (int rc = ::getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr); rc != 0) {
    last_socket_error = ResolverCode(rc);
    return -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  for (;;) {
    const int state = ::gai_error(&request->block);
    if (state != EAI_INPROGRESS) {
      if (state != 0) {
        last_socket_error = ResolverCode(state);
        return -1;
      }
      return FirstIpv4(request->block.ar_result, address);
    }
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    timespec wait{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
    const gaicb* pending[1] = {&request->block};
    ::gai_suspend(pending, 1, &wait);
  }
  if (::gai_cancel(&request->block) != EAI_CANCELED) {
    if (::gai_error(&request->block) == 0 && request->block.ar_result != nullptr) {
      ::freeaddrinfo(request->block.ar_result);
    } else if (::gai_error(&request->block) == EAI_INPROGRESS) {
      request.release();
    }
  }
  return -2;
}
#endif

int GetHostName(char* buffer, int length) {
  if (length <= 0) return Fail(EFAULT);
  if (::gethostname(buffer, static_cast<size_t>(length)) != 0) return Fail(errno == ENAMETOOLONG ? EFAULT : errno);
  buffer[length - 1] = '\0';
  return 0;
}

int LastError() { return last_socket_error; }

// The library is part of the system here, loaded before any call.
bool CallBeforeLoad(std::string*, std::string*) { return false; }

}  // namespace

SD_DEFINE_CALL_TABLE(SocketOps, SD_SOCKET_CALLS)

void SetLastSocketError(int code) { last_socket_error = code; }

}  // namespace sd::platform
