// ExchangeEvent: the one hand-over between a waiting operation and its exchange thread. It is an
// auto-reset event with a timed wait that carries the exchange's outcome, and it knows which exchange is
// being waited for, so that a thread whose operation has stopped waiting can neither wake nor overwrite
// a later operation.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "exchange/codec.h"

namespace sd::exchange {

// What one exchange produced: a decoded reply, or the operator text of its failure.
struct ExchangeResult {
  bool Decoded = false;
  std::string ErrorText;  // Windows-1251; empty when the reply was decoded
  DecodedReply Reply;
};

class ExchangeEvent {
 public:
  // A new identity for an exchange about to start.
  std::uint64_t NewExchange();

  // Resets the event and makes `exchange` the one being waited for.
  void Reset(std::uint64_t exchange);

  // Hands the outcome over and sets the event, only while `exchange` is still waited for: the outcome
  // is stored completely before the waiting operation can see the signal. True when it was handed over.
  bool Publish(std::uint64_t exchange, ExchangeResult outcome);

  // Waits until the current exchange sets the event or the time runs out, and gives its outcome, or
  // nothing when the time ran out. Either way the exchange is no longer waited for afterwards; a signal
  // consumed here does not wake the next wait.
  std::optional<ExchangeResult> WaitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
  std::uint64_t waited_for_ = 0;
  std::uint64_t serial_ = 0;
  ExchangeResult outcome_;
};

// The module's one event.
ExchangeEvent& TheExchangeEvent();

}  // namespace sd::exchange
