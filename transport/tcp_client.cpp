// TcpClient: settings, the open, the receive step, the disconnect check, send, receive and close.
#include "transport/tcp_client.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "smartdriver/errors.h"
#include "transport/addresses.h"
#include "transport/tcp_connection.h"
#include "transport/transport_errors.h"
#include "transport/transport_texts.h"

namespace sd::transport {
namespace {

[[noreturn]] void Raise(TransportText id) { throw TransportError(std::string(Text(id))); }

int CheckedTimeout(int milliseconds) {
  if (milliseconds < -2) throw sd::ERangeError();
  return milliseconds;
}

}  // namespace

TcpClient::TcpClient() = default;

TcpClient::~TcpClient() {
  if (connection_) CloseSocket();
}

void TcpClient::SetConnectTimeout(int milliseconds) { connect_timeout_ = CheckedTimeout(milliseconds); }
void TcpClient::SetReadTimeout(int milliseconds) { read_timeout_ = CheckedTimeout(milliseconds); }

void TcpClient::GiveStatus(TcpStatus status, std::string_view argument) {
  if (!on_status_) return;
  TransportText id = TransportText::kConnected;
  switch (status) {
    case TcpStatus::kResolving: id = TransportText::kResolvingHostName; break;
    case TcpStatus::kConnecting: id = TransportText::kConnecting; break;
    case TcpStatus::kConnected: id = TransportText::kConnected; break;
    case TcpStatus::kDisconnecting: id = TransportText::kDisconnecting; break;
    case TcpStatus::kDisconnected: id = TransportText::kDisconnected; break;
  }
  on_status_(status, FormatText(id, argument));
}

void TcpClient::CloseSocket() noexcept {
  connection_->CloseSocket();
  connection_->is_open = false;
}

// Reading or sending needs the state that a successful open leaves; without it the connection is as
// good as closed, and is reported so.
TcpConnection& TcpClient::RequireConnection() {
  if (!connection_ || !connection_->queue) Raise(TransportText::kConnectionClosedGracefully);
  return *connection_;
}

void TcpClient::OpenConnection() {
  if (IsConnected()) Raise(TransportText::kAlreadyConnected);
  if (host_.empty()) throw TransportError("");
  if (port_ == 0) throw TransportError("");
  if (!connection_) connection_ = std::make_unique<TcpConnection>();
  TcpConnection& c = *connection_;
  // A limited connect spends one limit on the lookup and the connect together.
  const auto started = std::chrono::steady_clock::now();
  const auto left = [&] {
    const auto spent =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    return static_cast<int>(std::max<long long>(connect_timeout_ - spent, 1));
  };
  try {
    c.is_open = false;
    c.peer_closed = false;
    c.queue = std::make_unique<ReceiveQueue>();
    c.is_open = true;
    c.ResetSocket();
    // A negative port opens nothing and raises nothing; IsConnected tells the caller.
    if (port_ > 0) {
      c.SetHandle(OpenTcpSocket());
      try {
        BindSocket(c.Handle(), bound_ip_, bound_port_);
        c.local = LocalEndpoint(c.Handle());
      } catch (const std::exception&) {
        Raise(TransportText::kCouldNotBindSocket);
      }
      SetTcpOption(c.Handle(), sd::platform::kLevelTcp, sd::platform::kTcpNoDelay, use_nagle_ ? 0 : 1);
      std::string address = host_;
      if (!IsDottedQuad(host_)) {
        GiveStatus(TcpStatus::kResolving, host_);
        address = ResolveToAddress(host_, connect_timeout_ > 0 ? connect_timeout_ : -1);
      }
      c.peer = Endpoint{address, port_};
      GiveStatus(TcpStatus::kConnecting, address);
      if (connect_timeout_ == 0) {
        Connect();
      } else {
        ConnectWithTimeout(connect_timeout_ > 0 ? left() : -1);
      }
    }
    GiveStatus(TcpStatus::kConnected);
    if (on_connected_) on_connected_();
  } catch (...) {
    CloseSocket();
    connection_.reset();
    throw;
  }
}

int TcpClient::ReceiveStep(int timeout_ms, bool raise_on_timeout) {
  TcpConnection& c = *connection_;
  if (timeout_ms == -1) timeout_ms = (read_timeout_ == -1 || read_timeout_ == 0) ? -2 : read_timeout_;
  CheckForDisconnect(false, false);
  if (!c.Allocated()) return 0;
  if (!WaitReadable(c.Set(), timeout_ms)) {
    if (raise_on_timeout) Raise(TransportText::kReadTimeout);
    return -1;
  }
  const std::size_t size = recv_buffer_size_ > 0 ? static_cast<std::size_t>(recv_buffer_size_) : 0;
  if (c.scratch_size != size) {
    c.scratch.reset(size > 0 ? new std::uint8_t[size] : nullptr);
    c.scratch_size = size;
  }
  const int count = ReceiveOnSocket(c.Handle(), std::span<std::uint8_t>(c.scratch.get(), size));
  if (count > 0) c.queue->Append(std::vector<std::uint8_t>(c.scratch.get(), c.scratch.get() + count));
  c.peer_closed = count == 0;
  CheckForDisconnect(false, false);
  return count;
}

bool TcpClient::CheckForDisconnect(bool raise, bool ignore_queue) {
  TcpConnection& c = *connection_;
  bool gone = !c.Allocated();
  if (c.peer_closed) {
    if (c.Allocated()) {
      CloseSocket();
      GiveStatus(TcpStatus::kDisconnected);
    }
    gone = true;
  }
  if (gone && raise && c.queue && (c.queue->Empty() || ignore_queue))
    Raise(TransportText::kConnectionClosedGracefully);
  return gone;
}

bool TcpClient::IsConnected() {
  if (!connection_) return false;
  ReceiveStep(0, false);
  CheckForDisconnect(false, false);
  const TcpConnection& c = *connection_;
  return (c.queue && !c.queue->Empty()) || (c.Allocated() && c.is_open && !c.peer_closed);
}

void TcpClient::SendBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  TcpConnection& c = RequireConnection();
  CheckForDisconnect(true, true);
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const int sent = SendOnSocket(c.Handle(), bytes, static_cast<int>(offset));
    c.peer_closed = sent == 0;
    CheckForDisconnect(true, false);
    offset += static_cast<std::size_t>(sent);
  }
}

void TcpClient::ReceiveBytes(std::vector<std::uint8_t>& buffer, int count, bool append) {
  if (count > 0) {
    TcpConnection& c = RequireConnection();
    while (c.queue->Size() < static_cast<std::size_t>(count)) {
      ReceiveStep(-1, true);
      CheckForDisconnect(true, true);
    }
    c.queue->Take(static_cast<std::size_t>(count), buffer, append);
  } else if (count == -1) {
    TcpConnection& c = RequireConnection();
    ReceiveStep(read_timeout_, false);
    CheckForDisconnect(true, true);
    c.queue->Take(c.queue->Size(), buffer, append);
  }
}

void TcpClient::CloseConnection() {
  std::exception_ptr poll_failure;
  try {
    IsConnected();  // a connected peer needs no notice: nothing is sent before the close
  } catch (...) {
    poll_failure = std::current_exception();
  }
  if (connection_ && connection_->is_open) {
    GiveStatus(TcpStatus::kDisconnecting);
    CloseSocket();
    if (on_disconnected_) on_disconnected_();
    GiveStatus(TcpStatus::kDisconnected);
  }
  if (poll_failure) std::rethrow_exception(poll_failure);
}

std::string TcpClient::LocalAddress() const { return connection_ ? connection_->local.address : std::string(); }
int TcpClient::LocalPort() const { return connection_ ? connection_->local.port : 0; }
std::string TcpClient::PeerAddress() const { return connection_ ? connection_->peer.address : std::string(); }
int TcpClient::PeerPort() const { return connection_ ? connection_->peer.port : 0; }

}  // namespace sd::transport
