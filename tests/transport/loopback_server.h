// A one-connection server on 127.0.0.1 for the transport tests: it listens on a port of the system's
// choice, accepts one client and runs a script against it on its own thread. It uses the system's
// socket services even while a test has replaced them for the client, and every wait is bounded.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "platform/sockets.h"

namespace sd::transport::testing {

// The server's end of the accepted connection.
class ServerPeer {
 public:
  explicit ServerPeer(sd::platform::SocketHandle handle) : handle_(handle) {}

  void Send(const std::string& bytes) const {
    Ops().send(handle_, bytes.data(), static_cast<int>(bytes.size()));
  }

  // Waits up to `limit` for bytes; returns what one receive gave ("" on time-out or close).
  std::string Receive(std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    if (!Readable(limit)) return {};
    char buffer[4096];
    const int got = Ops().recv(handle_, buffer, sizeof buffer);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
  }

  // Waits (bounded) until the client closes or resets its side.
  void AwaitClientClose(std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!Readable(std::chrono::milliseconds(50))) continue;
      char buffer[256];
      if (Ops().recv(handle_, buffer, sizeof buffer) <= 0) return;
    }
  }

  // Aborts the connection: the client sees a reset rather than an orderly close.
  void Reset() {
    const std::uint16_t linger[2] = {1, 0};
    Ops().setsockopt(handle_, sd::platform::kLevelSocket, sd::platform::kSocketLinger, linger, sizeof linger);
    Close();
  }

  void Close() {
    if (handle_ == sd::platform::kNoSocket) return;
    Ops().closesocket(handle_);
    handle_ = sd::platform::kNoSocket;
  }

 private:
  static const sd::platform::SocketOps& Ops() { return sd::platform::SystemSockets(); }

  bool Readable(std::chrono::milliseconds limit) const {
    sd::platform::HandleSet set;
    set.count = 1;
    set.handles[0] = handle_;
    const sd::platform::WaitLimit wait{static_cast<long>(limit.count() / 1000),
                                       static_cast<long>(limit.count() % 1000) * 1000};
    return Ops().select(&set, &wait) > 0;
  }

  sd::platform::SocketHandle handle_;
};

class LoopbackServer {
 public:
  using Script = std::function<void(ServerPeer&)>;

  // With no script the server only listens and never accepts (backlog as given).
  explicit LoopbackServer(Script script = nullptr, int backlog = 4) {
    listener_ = Ops().socket(sd::platform::kAddressFamilyInet, sd::platform::kSocketStream, 0);
    sd::platform::SocketAddress address;
    address.address = {127, 0, 0, 1};
    Ops().bind(listener_, address);
    Ops().listen(listener_, backlog);
    sd::platform::SocketAddress bound;
    Ops().getsockname(listener_, &bound);
    port_ = bound.port;
    if (script) {
      thread_ = std::thread([this, script = std::move(script)] {
        Serve(script);
        done_.set_value();
      });
    }
  }

  ~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    Ops().closesocket(listener_);
  }

  int Port() const { return port_; }

  // Blocks (bounded) until the script has run to its end; call it once.
  bool AwaitScriptEnd(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return done_.get_future().wait_for(limit) == std::future_status::ready;
  }

 private:
  static const sd::platform::SocketOps& Ops() { return sd::platform::SystemSockets(); }

  void Serve(const Script& script) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
      sd::platform::HandleSet set;
      set.count = 1;
      set.handles[0] = listener_;
      const sd::platform::WaitLimit wait{0, 50000};
      if (Ops().select(&set, &wait) <= 0) continue;
      ServerPeer peer(Ops().accept(listener_, nullptr));
      script(peer);
      peer.Close();
      return;
    }
  }

  sd::platform::SocketHandle listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::promise<void> done_;
  std::thread thread_;
};

}  // namespace sd::transport::testing
