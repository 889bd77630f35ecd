// ExchangeEvent: the one hand-over between a waiting operation and its exchange thread. It is an
// auto-reset event with a timed wait, and it knows which exchange is being waited for, so that a thread
// whose operation has stopped waiting can neither wake nor overwrite a later operation.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "exchange/exchange_result.h"

namespace sd::exchange {

class ExchangeEvent {
 public:
  // A new identity for an exchange about to start.
  std::uint64_t NewExchange();

  // Resets the event and makes `exchange` the one being waited for.
  void Reset(std::uint64_t exchange);

  // Runs `action` under the event's lock only while `exchange` is still waited for; true when it ran.
  template <typename Action>
  bool IfCurrent(std::uint64_t exchange, Action&& action) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (waited_for_ != exchange || exchange == 0) return false;
    action();
    return true;
  }

  // Runs `action` and sets the event, both under the lock and only while `exchange` is still waited
  // for: a result is written completely before the waiting operation can see the signal.
  template <typename Action>
  bool Publish(std::uint64_t exchange, Action&& action) {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      if (waited_for_ != exchange || exchange == 0) return false;
      action();
      signalled_ = true;
    }
    cv_.notify_all();
    return true;
  }

  // Waits until the current exchange sets the event or the time runs out. Either way the exchange is
  // no longer waited for afterwards; a signal consumed here does not wake the next wait.
  bool WaitFor(std::chrono::milliseconds limit);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
  std::uint64_t waited_for_ = 0;
  std::uint64_t serial_ = 0;
};

// The module's one event.
ExchangeEvent& TheExchangeEvent();

}  // namespace sd::exchange
