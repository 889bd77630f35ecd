// The blocking TCP client through which one server exchange reaches a server: open, poll, send the
// whole request, receive, close. Every failure is raised as a TransportError (a SocketError for a
// failing socket call) whose message the operator sees.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "transport/socket_stack.h"

namespace sd::transport {

enum class TcpStatus { kResolving, kConnecting, kConnected, kDisconnecting, kDisconnected };

class TcpConnection;

class TcpClient {
 public:
  using StatusObserver = std::function<void(TcpStatus status, std::string_view text)>;
  using EventObserver = std::function<void()>;

  // Acquires the socket stack; a failure to start the socket library is raised from here.
  TcpClient();
  // Closes an open connection (without statuses) in whatever state it is, then releases the stack.
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  const std::string& Host() const { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }
  // Time limits in ms: -2 and -1 no limit of their own, 0 (connect: the system's limit; read: a
  // single poll for a read of count -1), n > 0 at most n ms. Other values raise ERangeError.
  int ConnectTimeout() const { return connect_timeout_; }
  void SetConnectTimeout(int milliseconds);
  int ReadTimeout() const { return read_timeout_; }
  void SetReadTimeout(int milliseconds);
  int RecvBufferSize() const { return recv_buffer_size_; }
  void SetRecvBufferSize(int bytes) { recv_buffer_size_ = bytes; }
  bool UseNagle() const { return use_nagle_; }
  void SetUseNagle(bool use) { use_nagle_ = use; }
  const std::string& BoundIP() const { return bound_ip_; }
  void SetBoundIP(std::string address) { bound_ip_ = std::move(address); }
  int BoundPort() const { return bound_port_; }
  void SetBoundPort(int port) { bound_port_ = port; }

  // Status texts are formatted only while an observer is installed.
  void SetOnStatus(StatusObserver observer) { on_status_ = std::move(observer); }
  void SetOnConnected(EventObserver observer) { on_connected_ = std::move(observer); }
  void SetOnDisconnected(EventObserver observer) { on_disconnected_ = std::move(observer); }

  void OpenConnection();
  bool IsConnected();
  // Sends all the bytes within the call.
  void SendBytes(std::span<const std::uint8_t> bytes);
  // count > 0: exactly that many bytes; count -1: what one receive delivers together with what is
  // queued; any other count: nothing.
  void ReceiveBytes(std::vector<std::uint8_t>& buffer, int count, bool append);
  // Closes the connection; a SocketError of its poll is raised after the connection is closed.
  void CloseConnection();

  // The addresses read back after the connect; empty and 0 without a connection.
  std::string LocalAddress() const;
  int LocalPort() const;
  std::string PeerAddress() const;
  int PeerPort() const;

 private:
  friend class TcpConnection;

  // The receive step: -1 while waiting ran out (without raising), else the count received.
  int ReceiveStep(int timeout_ms, bool raise_on_timeout);
  // True when the connection is gone; raises "Connection Closed Gracefully." when asked to.
  bool CheckForDisconnect(bool raise, bool ignore_queue);
  void Connect();
  void ConnectWithTimeout(int limit_ms);
  // Closes the socket and clears isOpen; the queue keeps its bytes.
  void CloseSocket() noexcept;
  void GiveStatus(TcpStatus status, std::string_view argument = {});
  TcpConnection& RequireConnection();

  StackUser stack_;
  std::string host_;
  int port_ = 0;
  int connect_timeout_ = 0;
  int read_timeout_ = -1;
  int recv_buffer_size_ = 32768;
  bool use_nagle_ = true;
  std::string bound_ip_;
  int bound_port_ = 0;
  StatusObserver on_status_;
  EventObserver on_connected_;
  EventObserver on_disconnected_;
  std::unique_ptr<TcpConnection> connection_;
};

}  // namespace sd::transport
