// The socket operations of the transport and the raising of socket errors.
#include "transport/socket_ops.h"

#include <cctype>

#include "platform/socket_errors.h"
#include "smartdriver/errors.h"
#include "transport/addresses.h"
#include "transport/transport_errors.h"
#include "transport/transport_texts.h"

namespace sd::transport {
namespace {

const sd::platform::SocketOps& Ops() { return sd::platform::Sockets(); }

sd::platform::SocketAddress MakeAddress(std::string_view address, int port) {
  if (port < 0 || port > 65535) throw sd::ERangeError();
  sd::platform::SocketAddress native;
  if (!address.empty()) native.address = TextToAddress(address);
  native.port = static_cast<std::uint16_t>(port);
  return native;
}

Endpoint ToEndpoint(const sd::platform::SocketAddress& native) {
  Endpoint endpoint;
  if (native.family == sd::platform::kAddressFamilyInet) {
    endpoint.address = AddressToText(native.address);
    endpoint.port = native.port;
  }
  return endpoint;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

int CheckSocketResult(int result) {
  if (result == -1) ThrowSocketError(Ops().last_error());
  return result;
}

void ThrowSocketError(int code) {
  std::string function, system_text;
  if (code == sd::platform::kWsaNotInitialised && Ops().call_before_load != nullptr &&
      Ops().call_before_load(&function, &system_text))
    throw SocketLibraryError(FormatText(TransportText::kErrorOnCallFunction, function), static_cast<std::uint32_t>(code),
                             system_text);
  if (code == sd::platform::kWsaENotSock) throw NotASocketError(code, SocketErrorText(code));
  throw SocketError(code, SocketErrorText(code));
}

SocketHandle OpenTcpSocket() {
  const SocketHandle socket = Ops().socket(sd::platform::kAddressFamilyInet, sd::platform::kSocketStream, 0);
  if (socket == sd::platform::kNoSocket) ThrowSocketError(Ops().last_error());
  return socket;
}

void BindSocket(SocketHandle socket, std::string_view address, int port) {
  const auto native = MakeAddress(address, port);
  CheckSocketResult(Ops().bind(socket, native));
}

void ConnectSocket(SocketHandle socket, std::string_view address, int port) {
  const auto native = MakeAddress(address, port);
  CheckSocketResult(Ops().connect(socket, native));
}

bool ConnectSocketWithin(SocketHandle socket, std::string_view address, int port, int limit_ms) {
  const auto native = MakeAddress(address, port);
  const int result = Ops().connect_within(socket, native, limit_ms);
  if (result == -2) return false;
  CheckSocketResult(result);
  return true;
}

int SendOnSocket(SocketHandle socket, std::span<const std::uint8_t> bytes, int offset, int size) {
  const auto length = static_cast<long long>(bytes.size());
  if (offset < 0 || offset >= length) throw sd::ERangeError();
  if (size == -1) size = static_cast<int>(length - offset);
  // A size that reaches past the array would send bytes that are not the caller's.
  if (size < 0 || offset + static_cast<long long>(size) > length) throw sd::ERangeError();
  return CheckSocketResult(Ops().send(socket, bytes.data() + offset, size));
}

int ReceiveOnSocket(SocketHandle socket, std::span<std::uint8_t> buffer) {
  if (buffer.empty()) throw sd::ERangeError();
  return CheckSocketResult(Ops().recv(socket, buffer.data(), static_cast<int>(buffer.size())));
}

Endpoint LocalEndpoint(SocketHandle socket) {
  sd::platform::SocketAddress native;
  CheckSocketResult(Ops().getsockname(socket, &native));
  return ToEndpoint(native);
}

Endpoint PeerEndpoint(SocketHandle socket) {
  sd::platform::SocketAddress native;
  CheckSocketResult(Ops().getpeername(socket, &native));
  return ToEndpoint(native);
}

void SetTcpOption(SocketHandle socket, int level, int option, std::int32_t value) {
  CheckSocketResult(Ops().setsockopt(socket, level, option, &value, sizeof value));
}

void CloseSocketHandle(SocketHandle socket) noexcept {
  Ops().shutdown(socket, sd::platform::kShutdownSend);
  Ops().closesocket(socket);
}

bool WaitReadable(const SocketSet& set, int timeout_ms) {
  sd::platform::HandleSet copy = set.Copy();
  sd::platform::WaitLimit limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000L};
  CheckSocketResult(Ops().select(&copy, timeout_ms == -2 ? nullptr : &limit));
  return copy.count > 0;
}

std::string ResolveToAddress(std::string_view host, int limit_ms) {
  if (EqualsIgnoringCase(host, "LOCALHOST")) return "127.0.0.1";
  if (IsDottedQuad(host)) return std::string(host);
  return LookupHostAddress(host, limit_ms);
}

std::string LookupHostAddress(std::string_view name, int limit_ms) {
  Ipv4Bytes address{};
  const std::string terminated(name);
  const auto& ops = sd::platform::Sockets();
  const int result = limit_ms < 0 ? ops.lookup_ipv4(terminated.c_str(), &address)
                                  : ops.lookup_ipv4_within(terminated.c_str(), &address, limit_ms);
  if (result == -2) throw TransportError(std::string(Text(TransportText::kConnectTimedOut)));
  CheckSocketResult(result);
  return AddressToText(address);
}

}  // namespace sd::transport
