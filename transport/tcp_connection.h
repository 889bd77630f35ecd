// The connection state of a TcpClient: the open and peer-closed flags, the socket record with its lock,
// and the queue of received bytes. Private to the client.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "transport/receive_queue.h"
#include "transport/socket_ops.h"
#include "transport/socket_set.h"
#include "transport/socket_stack.h"

namespace sd::transport {

class TcpConnection {
 public:
  TcpConnection() = default;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;
  ~TcpConnection() { CloseSocket(); }

  // Takes the handle of a new socket; the readability set holds just this handle.
  void SetHandle(SocketHandle handle) {
    std::lock_guard<std::mutex> hold(socket_lock);
    handle_ = handle;
    allocated_ = true;
    set_ = std::make_unique<SocketSet>();
    set_->Add(handle);
  }

  // Marks the socket not allocated before closing it, under the lock, so that an address read-back
  // never touches a closed handle.
  void CloseSocket() noexcept {
    std::lock_guard<std::mutex> hold(socket_lock);
    if (allocated_) {
      allocated_ = false;
      CloseSocketHandle(handle_);
    }
    handle_ = sd::platform::kNoSocket;
    set_.reset();
  }

  // No handle and no addresses.
  void ResetSocket() noexcept {
    CloseSocket();
    std::lock_guard<std::mutex> hold(socket_lock);
    local = Endpoint{};
    peer = Endpoint{};
  }

  bool Allocated() const { return allocated_; }
  SocketHandle Handle() const { return handle_; }
  const SocketSet& Set() const { return *set_; }

  bool is_open = false;
  bool peer_closed = false;
  std::unique_ptr<ReceiveQueue> queue;
  // Where each receive lands before its bytes join the queue; kept for the connection's life, so that a
  // receive neither allocates nor clears a buffer of RecvBufferSize bytes every time. Left uninitialised:
  // only the bytes a receive brought are ever read from it.
  std::unique_ptr<std::uint8_t[]> scratch;
  std::size_t scratch_size = 0;
  // Guards the handle, the allocated flag and the addresses against a close from another thread.
  std::mutex socket_lock;
  Endpoint local;
  Endpoint peer;

 private:
  StackUser stack_;
  SocketHandle handle_ = sd::platform::kNoSocket;
  bool allocated_ = false;
  std::unique_ptr<SocketSet> set_;
};

}  // namespace sd::transport
