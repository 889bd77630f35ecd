// TcpClient's connect: the plain blocking one, and the one limited in time, which runs the blocking
// connect on a thread of its own and abandons it by closing the socket under it.
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "transport/tcp_client.h"
#include "transport/tcp_connection.h"
#include "transport/transport_errors.h"
#include "transport/transport_texts.h"

namespace sd::transport {
namespace {

// The blocking connect and, if the socket was not closed meanwhile, the read-back of both ends.
void ConnectAndReadBack(TcpConnection& c, SocketHandle handle, const std::string& address, int port) {
  ConnectSocket(handle, address, port);
  std::lock_guard<std::mutex> hold(c.socket_lock);
  if (c.Allocated()) {
    c.local = LocalEndpoint(handle);
    c.peer = PeerEndpoint(handle);
  }
}

// What the connect thread leaves behind. `finished` is set last, under the lock, and wakes the wait.
struct ConnectOutcome {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  bool failed = false;
  std::string message;
  int code = 0;
};

}  // namespace

void TcpClient::Connect() {
  TcpConnection& c = *connection_;
  ConnectAndReadBack(c, c.Handle(), c.peer.address, c.peer.port);
}

void TcpClient::ConnectWithTimeout() {
  TcpConnection& c = *connection_;
  ConnectOutcome outcome;
  std::thread connector([&c, &outcome, handle = c.Handle(), address = c.peer.address, port = c.peer.port] {
    try {
      ConnectAndReadBack(c, handle, address, port);
    } catch (const SocketError& e) {
      // 10009 and 10038 mean the socket was closed under the connect: the wait gave up on it.
      if (e.ErrorCode() != 10009 && e.ErrorCode() != 10038) {
        outcome.failed = true;
        outcome.message = e.Message();
        outcome.code = e.ErrorCode();
      }
    } catch (const std::exception& e) {
      outcome.failed = true;
      outcome.message = e.what();
    } catch (...) {
      outcome.failed = true;
    }
    {
      std::lock_guard<std::mutex> hold(outcome.lock);
      outcome.finished = true;
    }
    outcome.done.notify_all();
  });
  // However this function is left, the thread has ended by then.
  struct Joiner {
    std::thread& thread;
    ~Joiner() {
      if (thread.joinable()) thread.join();
    }
  } joiner{connector};

  // The wait ends as soon as the connect does: an exchange must not pay a fixed step for every connect
  // that succeeds at once, as it does on loopback.
  bool finished;
  {
    std::unique_lock<std::mutex> hold(outcome.lock);
    const auto is_finished = [&] { return outcome.finished; };
    if (connect_timeout_ < 0) {
      outcome.done.wait(hold, is_finished);
    } else {
      outcome.done.wait_for(hold, std::chrono::milliseconds(connect_timeout_), is_finished);
    }
    finished = outcome.finished;
  }

  if (!finished) {
    // Closing the socket ends the blocking connect; its failure is of no interest any more.
    CloseSocket();
    connector.join();
    throw TransportError(std::string(Text(TransportText::kConnectTimedOut)));
  }
  connector.join();
  if (outcome.failed && outcome.code != 0) throw SocketError(outcome.code, outcome.message);
  if (outcome.failed) throw TransportError(outcome.message);
}

}  // namespace sd::transport
