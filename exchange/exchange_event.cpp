// The exchange event and its identity check.
#include "exchange/exchange_event.h"

namespace sd::exchange {

std::uint64_t ExchangeEvent::NewExchange() {
  std::lock_guard<std::mutex> hold(mutex_);
  return ++serial_;
}

void ExchangeEvent::Reset(std::uint64_t exchange) {
  std::lock_guard<std::mutex> hold(mutex_);
  signalled_ = false;
  waited_for_ = exchange;
}

bool ExchangeEvent::WaitFor(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> hold(mutex_);
  const bool woken = cv_.wait_for(hold, limit, [this] { return signalled_; });
  signalled_ = false;
  waited_for_ = 0;
  return woken;
}

// First reached from module start-up, so it is destroyed only after module shutdown has run.
ExchangeEvent& TheExchangeEvent() {
  static ExchangeEvent event;
  return event;
}

}  // namespace sd::exchange
