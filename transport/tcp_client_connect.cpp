// TcpClient's connect: the plain blocking one, and the one limited in time, which runs the blocking
// connect on a thread of its own and abandons it by closing the socket under it.
#include <atomic>
#include <chrono>
#include <exception>
#include <string>
#include <thread>

#include "transport/tcp_client.h"
#include "transport/tcp_connection.h"
#include "transport/transport_errors.h"
#include "transport/transport_texts.h"

namespace sd::transport {
namespace {

constexpr int kStepMs = 125;

// The blocking connect and, if the socket was not closed meanwhile, the read-back of both ends.
void ConnectAndReadBack(TcpConnection& c, SocketHandle handle, const std::string& address, int port) {
  ConnectSocket(handle, address, port);
  std::lock_guard<std::mutex> hold(c.socket_lock);
  if (c.Allocated()) {
    c.local = LocalEndpoint(handle);
    c.peer = PeerEndpoint(handle);
  }
}

// What the connect thread leaves behind. `finished` is published last.
struct ConnectOutcome {
  std::atomic<bool> finished{false};
  bool failed = false;
  std::string message;
  int code = 0;
};

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

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
    outcome.finished.store(true, std::memory_order_release);
  });
  // However this function is left, the thread has ended by then.
  struct Joiner {
    std::thread& thread;
    ~Joiner() {
      if (thread.joinable()) thread.join();
    }
  } joiner{connector};

  const bool unlimited = connect_timeout_ < 0;
  int remaining = unlimited ? kStepMs + 1 : connect_timeout_;
  while (remaining > kStepMs) {
    SleepMs(kStepMs);
    remaining = unlimited ? kStepMs + 1 : remaining - kStepMs;
    if (outcome.finished.load(std::memory_order_acquire)) {
      remaining = 0;
      break;
    }
  }
  if (remaining > 0) SleepMs(remaining);

  if (!outcome.finished.load(std::memory_order_acquire)) {
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
