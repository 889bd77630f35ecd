// Start-up, shutdown and the live-thread count of the exchange module.
#include "exchange/exchange_module.h"

#include <condition_variable>
#include <mutex>

#include "exchange/exchange_event.h"

namespace sd::exchange {
namespace {

// Constant-initialised, so that they are there whenever a thread or the unload reaches them.
std::mutex g_threads_lock;
int g_live_threads = 0;

// First reached from module start-up, so it is destroyed only after module shutdown has run.
std::condition_variable& ThreadsEnded() {
  static std::condition_variable cv;
  return cv;
}

}  // namespace

void StartExchangeModule() {
  TheExchangeEvent();
  ThreadsEnded();
}

void ExchangeThreadStarted() {
  std::lock_guard<std::mutex> hold(g_threads_lock);
  ++g_live_threads;
}

void ExchangeThreadEnded() {
  std::lock_guard<std::mutex> hold(g_threads_lock);
  --g_live_threads;
  ThreadsEnded().notify_all();
}

int LiveExchangeThreads() {
  std::lock_guard<std::mutex> hold(g_threads_lock);
  return g_live_threads;
}

bool WaitForExchangeThreads(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> hold(g_threads_lock);
  return ThreadsEnded().wait_for(hold, limit, [] { return g_live_threads == 0; });
}

void StopExchangeModule(std::chrono::milliseconds limit) { WaitForExchangeThreads(limit); }

}  // namespace sd::exchange
