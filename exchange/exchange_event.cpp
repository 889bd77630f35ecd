// The exchange event and its identity check.
#include "exchange/exchange_event.h"

#include <utility>

namespace sd::exchange {

std::uint64_t ExchangeEvent::NewExchange() {
  std::lock_guard<std::mutex> hold(mutex_);
  return ++serial_;
}

void ExchangeEvent::Reset(std::uint64_t exchange) {
  std::lock_guard<std::mutex> hold(mutex_);
  signalled_ = false;
  waited_for_ = exchange;
  outcome_ = ExchangeResult{};
}

bool ExchangeEvent::Publish(std::uint64_t exchange, ExchangeResult outcome) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (waited_for_ != exchange || exchange == 0) return false;
    outcome_ = std::move(outcome);
    signalled_ = true;
  }
  cv_.notify_all();
  return true;
}

std::optional<ExchangeResult> ExchangeEvent::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> hold(mutex_);
  const bool woken = cv_.wait_until(hold, deadline, [this] { return signalled_; });
  signalled_ = false;
  waited_for_ = 0;
  if (!woken) return std::nullopt;
  return std::move(outcome_);
}

// First reached from module start-up, so it is destroyed only after module shutdown has run.
ExchangeEvent& TheExchangeEvent() {
  static ExchangeEvent event;
  return event;
}

}  // namespace sd::exchange
