// CallServer: start the exchange thread, wait, and read the hand-over.
#include "exchange/call_server.h"

#include <chrono>
#include <utility>

#include "exchange/exchange_event.h"
#include "exchange/send_thread.h"
#include "smartdriver/errors.h"

namespace sd::exchange {

DecodedReply CallServer(const std::string& host, std::int32_t port, std::int32_t wait_ms, Bytes frame,
                        std::string_view timeout_message, std::string_view failure_message) {
  // A port that no server can listen on is the settings' fault, not the network's: nothing is tried.
  if (port < 1 || port > 65535)
    throw Exception(LoggedFailure(PortOutsideRange(port)));

  // A negative setting would otherwise be a wait without end.
  const std::chrono::milliseconds wait(wait_ms < 0 ? 10000 : wait_ms);
  ExchangeEvent& event = TheExchangeEvent();
  tSendThread thread;
  thread.Exchange = event.NewExchange();
  thread.Host = host;
  thread.ServerPort = port;
  thread.RequestFrame = std::move(frame);
  thread.Deadline = std::chrono::steady_clock::now() + wait;
  const auto deadline = thread.Deadline;
  event.Reset(thread.Exchange);
  Launched launched = Launched::kNoThread;
  try {
    launched = tSendThread::Start(std::move(thread));
  } catch (const std::exception&) {
  }
  if (launched != Launched::kStarted) {
    // Nothing was sent; the exchange is no longer waited for. A wait for a free thread that ran out
    // took the operation's own time.
    event.WaitUntil(std::chrono::steady_clock::time_point{});
    if (launched == Launched::kNoSlot) throw ETimeOut(std::string(timeout_message));
    throw ECommunicationError(std::string(failure_message));
  }

  std::optional<ExchangeResult> outcome = event.WaitUntil(deadline);
  if (!outcome) throw ETimeOut(std::string(timeout_message));
  if (outcome->Decoded) return outcome->Reply;
  if (!outcome->ErrorText.empty()) throw ECommunicationError(std::move(outcome->ErrorText));
  throw ECommunicationError(std::string(failure_message));
}

}  // namespace sd::exchange
