// The peer's listeners, acceptor and connection threads. Nothing here blocks for longer than a short
// slice without looking at the stop, so that a stop needs no wake-up channel of its own. The peer
// stays on the system's socket calls even while a test has replaced the table for the client it serves.
#include "tools/emulator/peer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "platform/socket_errors.h"

namespace sd::emulator {
namespace {

using sd::platform::SocketHandle;

constexpr int kSliceMs = 20;
constexpr std::uint16_t kSocketVersion = 0x0202;

const sd::platform::SocketOps& Ops() { return sd::platform::SystemSockets(); }

// Waits up to one slice (or less) for a handle of the set to become readable; the set keeps those.
int SelectSlice(sd::platform::HandleSet& set, int limit_ms) {
  const int ms = limit_ms < 0 ? kSliceMs : std::min(limit_ms, kSliceMs);
  const sd::platform::WaitLimit limit{0, static_cast<long>(ms) * 1000};
  return Ops().select(&set, &limit);
}

}  // namespace

std::string SocketErrorWords(int code) {
  std::string text;
  switch (code) {
#define SD_SOCKET_ERROR_WORDS(name, value, words) \
  case value:                                     \
    text = words;                                 \
    break;
    SD_SOCKET_ERRORS(SD_SOCKET_ERROR_WORDS)
#undef SD_SOCKET_ERROR_WORDS
    default:
      break;
  }
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text.empty() ? "socket error " + std::to_string(code) : text;
}

Peer::Peer(Handler handler, PeerOptions options) : handler_(std::move(handler)) {
  std::uint32_t system_error = 0;
  std::string system_error_text;
  if (!Ops().load_library(&system_error, &system_error_text))
    throw std::runtime_error("socket library: " + system_error_text);
  if (const int code = Ops().startup(kSocketVersion); code != 0)
    throw std::runtime_error("socket library: " + SocketErrorWords(code));
  started_ = true;
  for (const int port : options.ports) {
    sd::platform::SocketAddress address;
    address.address = {127, 0, 0, 1};
    address.port = static_cast<std::uint16_t>(port);
    const SocketHandle listener = Ops().open_listener(address, options.backlog);
    sd::platform::SocketAddress bound;
    if (listener == sd::platform::kNoSocket || Ops().getsockname(listener, &bound) != 0) {
      const int code = Ops().last_error();
      if (listener != sd::platform::kNoSocket) Ops().closesocket(listener);
      Release();
      throw std::runtime_error("listen on 127.0.0.1:" + std::to_string(port) + ": " + SocketErrorWords(code));
    }
    listeners_.push_back(listener);
    ports_.push_back(bound.port);
  }
  if (handler_) acceptor_ = std::thread([this] { AcceptLoop(); });
}

Peer::~Peer() { Stop(); }

void Peer::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopped_.exchange(true)) return;
  }
  changed_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& worker : workers_) worker.thread.join();
  workers_.clear();
  Release();
}

void Peer::Release() {
  for (const SocketHandle listener : listeners_) Ops().closesocket(listener);
  listeners_.clear();
  if (started_) Ops().cleanup();
  started_ = false;
}

bool Peer::WaitServed(std::size_t count, int limit_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(limit_ms), [&] { return served_ >= count; });
}

void Peer::AcceptLoop() {
  while (!stopped_) {
    sd::platform::HandleSet set;
    for (const SocketHandle listener : listeners_) set.handles[set.count++] = listener;
    const int ready = SelectSlice(set, -1);
    if (ready < 0) break;
    for (std::uint32_t i = 0; i < set.count; ++i) {
      const SocketHandle handle = Ops().accept(set.handles[i], nullptr);
      if (handle == sd::platform::kNoSocket) continue;
      const int on = 1;
      Ops().setsockopt(handle, sd::platform::kLevelTcp, sd::platform::kTcpNoDelay, &on, sizeof on);
      const auto listener = static_cast<std::size_t>(
          std::find(listeners_.begin(), listeners_.end(), set.handles[i]) - listeners_.begin());
      auto done = std::make_shared<std::atomic<bool>>(false);
      workers_.push_back({std::thread([this, handle, listener, done] {
                            Serve(handle, listener);
                            *done = true;
                          }),
                          done});
    }
    // Finished connection threads are joined here so that a long run does not collect them.
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (*it->done) {
        it->thread.join();
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
}

void Peer::Serve(SocketHandle handle, std::size_t listener) {
  Connection connection(*this, handle, listener);
  handler_(connection);
  connection.Close();
  {
    std::lock_guard lock(mutex_);
    ++served_;
  }
  changed_.notify_all();
}

Connection::Wait Connection::WaitReadable(int limit_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(limit_ms, 0));
  while (!peer_.stopped_) {
    int left = -1;
    if (limit_ms >= 0) {
      left = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now()).count());
      if (left < 0) left = 0;
    }
    sd::platform::HandleSet set;
    set.handles[set.count++] = handle_;
    const int ready = SelectSlice(set, left);
    if (ready > 0) return Wait::Readable;
    if (ready < 0) {
      error_code_ = Ops().last_error();
      return Wait::Failed;
    }
    if (left == 0) break;
  }
  return Wait::LimitReached;
}

bool Connection::Send(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const int sent = Ops().send(handle_, bytes.data(), static_cast<int>(bytes.size()));
    if (sent <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(sent));
  }
  return true;
}

bool Connection::Send(std::string_view text) {
  return Send(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

int Connection::Receive(std::uint8_t* buffer, int size, int limit_ms) {
  switch (WaitReadable(limit_ms)) {
    case Wait::LimitReached: return -2;
    case Wait::Failed: return -1;
    case Wait::Readable: break;
  }
  const int got = Ops().recv(handle_, buffer, size);
  if (got < 0) error_code_ = Ops().last_error();
  return got;
}

std::string Connection::ReceiveText(int limit_ms) {
  std::uint8_t buffer[4096];
  const int got = Receive(buffer, sizeof buffer, limit_ms);
  return got > 0 ? std::string(buffer, buffer + got) : std::string();
}

void Connection::AwaitClientClose(int limit_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  std::uint8_t buffer[256];
  for (;;) {
    int left = -1;
    if (limit_ms >= 0) {
      left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0) return;
    }
    if (Receive(buffer, sizeof buffer, left) <= 0) return;
  }
}

void Connection::ShutdownSend() { Ops().shutdown(handle_, sd::platform::kShutdownSend); }

void Connection::Reset() {
  const std::uint16_t linger[2] = {1, 0};
  Ops().setsockopt(handle_, sd::platform::kLevelSocket, sd::platform::kSocketLinger, linger, sizeof linger);
  Close();
}

void Connection::Close() {
  if (handle_ == sd::platform::kNoSocket) return;
  Ops().closesocket(handle_);
  handle_ = sd::platform::kNoSocket;
}

bool Connection::Pause(int ms) const {
  std::unique_lock lock(peer_.mutex_);
  return !peer_.changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return peer_.stopped_.load(); });
}

}  // namespace sd::emulator
