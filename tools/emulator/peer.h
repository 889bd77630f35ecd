// The emulator's server side on the platform's socket calls: listeners on 127.0.0.1, one thread per
// accepted connection that runs a handler, and a stop that every wait of a handler notices within a
// moment. The emulator is one handler; a test that needs a peer of another shape passes its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/sockets.h"

namespace sd::emulator {

class Peer;

// The server's end of one accepted connection, handed to the handler on the connection's own thread.
// Limits are in milliseconds; a negative limit waits until the peer stops.
class Connection {
 public:
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The index in PeerOptions::ports of the listener that accepted it.
  std::size_t Listener() const { return listener_; }

  // Sends every byte; false when the connection failed first.
  bool Send(std::span<const std::uint8_t> bytes);
  bool Send(std::string_view text);

  // Receives once when bytes arrive: their count, 0 when the client closed, -1 when the receive failed
  // (ErrorCode says why), -2 when the limit ran out or the peer stopped first.
  int Receive(std::uint8_t* buffer, int size, int limit_ms);
  // What one receive gave; empty on anything else.
  std::string ReceiveText(int limit_ms = 5000);

  // Reads and drops whatever comes until the client closes or resets, the limit runs out or the peer
  // stops.
  void AwaitClientClose(int limit_ms = 5000);

  // The client's reads then meet an orderly close while this side can still receive.
  void ShutdownSend();
  // Closes at once, with a reset instead of an orderly close.
  void Reset();

  // Waits unless the peer stops first; false when it did.
  bool Pause(int ms) const;

  // The Winsock code of the last failed receive.
  int ErrorCode() const { return error_code_; }

 private:
  friend class Peer;
  enum class Wait { Readable, LimitReached, Failed };

  Connection(Peer& peer, sd::platform::SocketHandle handle, std::size_t listener)
      : peer_(peer), handle_(handle), listener_(listener) {}
  Wait WaitReadable(int limit_ms);
  void Close();

  Peer& peer_;
  sd::platform::SocketHandle handle_;
  std::size_t listener_;
  int error_code_ = 0;
};

struct PeerOptions {
  std::vector<int> ports{0};  // one listener for each; 0 picks a free port
  int backlog = 16;
};

class Peer {
 public:
  using Handler = std::function<void(Connection&)>;

  // Listens on every port; with a handler it accepts each connection and runs the handler on a thread
  // of its own, closing the connection when the handler returns. Without one it only listens and the
  // connections wait in the backlog. std::runtime_error naming the port when one cannot be had.
  explicit Peer(Handler handler, PeerOptions options = {});
  ~Peer();  // stops
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  int Port(std::size_t listener = 0) const { return ports_.at(listener); }

  // Waits until `count` connections have been served and closed; false when the limit ran out first.
  bool WaitServed(std::size_t count, int limit_ms = 5000) const;

  // Ends every wait of the handlers, joins their threads and closes the listeners. Idempotent.
  void Stop();
  bool Stopped() const { return stopped_; }

 private:
  friend class Connection;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void AcceptLoop();
  void Serve(sd::platform::SocketHandle handle, std::size_t listener);
  void Release();  // the listeners and the socket library's start

  Handler handler_;
  std::vector<sd::platform::SocketHandle> listeners_;
  std::vector<int> ports_;
  bool started_ = false;
  std::atomic<bool> stopped_{false};
  std::thread acceptor_;
  std::list<Worker> workers_;  // touched by the acceptor only, and by Stop after joining it

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // a connection served, or the stop
  std::size_t served_ = 0;
};

// A Winsock code in the words of its text, without the final stop: "Connection reset by peer".
std::string SocketErrorWords(int code);

}  // namespace sd::emulator
