// tSendThread: one exchange with one server on a thread of its own: connect, send the frame, read one
// reply, decode it, hand the outcome over to the waiting operation, disconnect.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "exchange/codec.h"
#include "exchange/exchange_module.h"
#include "log/log_lines.h"
#include "smartdriver/cp1251.h"

namespace sd::transport {
class TcpClient;
}

namespace sd::exchange {

struct tSendThread {
  std::uint64_t Exchange = 0;     // the identity the waiting operation knows this exchange by
  std::string Host;               // LinkSettings.IP as it was when the thread was created
  std::int32_t ServerPort = 0;    // Port or Portbn
  Bytes RequestFrame;             // the framed request exactly as it goes on the wire
  std::chrono::steady_clock::time_point Deadline;  // when the operation stops waiting

  // Runs the exchange on a new thread that the module keeps until it has ended; waits for a free slot
  // at most until the thread's Deadline (LaunchExchangeThread).
  static Launched Start(tSendThread thread);

  // The exchange itself; never throws.
  void Execute();
};

// TCP may cut a reply anywhere, and its terminator says where it ends: deliveries are read, within the
// thread's limits (until a little past the deadline), until one brings the terminator or the receive
// buffer's size has come. What came by then, all of it, is the reply. A delivery that brings nothing
// raises "Read Timeout"; a peer that closed with nothing left raises "Connection Closed Gracefully.".
Bytes ReceiveReply(transport::TcpClient& client, std::chrono::steady_clock::time_point deadline);

// What the operator's message of a failed exchange starts with; the reason follows.
inline constexpr std::string_view kExchangeFailurePrefix = log::LinkFailurePrefix();

// Logs "[СВЯЗЬ] Ошибка связи с сервером: " and the reason, as every failed exchange is logged, and gives
// the operator text: "Ошибка связи с сервером: " and the reason.
std::string LoggedFailure(std::string_view reason);

}  // namespace sd::exchange
