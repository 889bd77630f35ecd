// CallServer: build, start, wait, and read the hand-over.
#include "exchange/call_server.h"

#include <chrono>

#include "exchange/exchange_event.h"
#include "exchange/send_thread.h"
#include "smartdriver/errors.h"

namespace sd::exchange {

void CallServer(const std::string& host, std::int32_t port, std::int32_t wait_ms,
                const std::function<void(Bytes& data)>& step, std::string_view timeout_message,
                std::string_view failure_message) {
  Bytes data(50, 0);
  try {
    step(data);
  } catch (const Exception& e) {
    // Whatever kind the build raised, the host sees the general class with the same message.
    throw Exception(e.Message());
  }

  // A negative setting would otherwise be a wait without end.
  const std::chrono::milliseconds wait(wait_ms < 0 ? 10000 : wait_ms);
  ExchangeEvent& event = TheExchangeEvent();
  tSendThread thread;
  thread.Exchange = event.NewExchange();
  thread.Host = host;
  thread.ServerPort = port;
  thread.RequestFrame = std::move(data);
  thread.Deadline = std::chrono::steady_clock::now() + wait;
  event.Reset(thread.Exchange);
  try {
    tSendThread::Start(std::move(thread));
  } catch (const std::exception&) {
    event.WaitFor(std::chrono::milliseconds(0));
    throw Exception(std::string(failure_message));
  }

  if (!event.WaitFor(wait)) throw Exception(std::string(timeout_message));
  if (ExchangeResult.Status == 1) return;
  if (ExchangeResult.Status == -1 && !ExchangeResult.ErrorText.empty()) throw Exception(ExchangeResult.ErrorText);
  throw Exception(std::string(failure_message));
}

}  // namespace sd::exchange
