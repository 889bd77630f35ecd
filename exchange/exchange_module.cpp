// Start-up, shutdown and the thread list of the exchange module. The threads are joined, never
// detached: a detached thread could still be unwinding through the library's code after its body
// returned, while the host unloads the library under it.
#include "exchange/exchange_module.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "exchange/exchange_event.h"

namespace sd::exchange {
namespace {

struct Running {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> finished;
};

// Constant-initialised, so that they are there whenever a thread or the unload reaches them.
std::mutex g_threads_lock;
int g_live_threads = 0;

// First reached from module start-up, so these are destroyed only after module shutdown has run.
std::condition_variable& ThreadsEnded() {
  static std::condition_variable cv;
  return cv;
}
// A program that links the module without the library's shutdown still joins its threads at exit.
struct ThreadList : std::vector<Running> {
  ~ThreadList() {
    for (Running& r : *this) r.thread.join();
  }
};
std::vector<Running>& Threads() {
  static ThreadList threads;
  return threads;
}

// Joins the threads whose body has returned; they are at most a few instructions from their end.
void JoinFinished() {
  auto& threads = Threads();
  for (auto it = threads.begin(); it != threads.end();) {
    if (it->finished->load(std::memory_order_acquire)) {
      it->thread.join();
      it = threads.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

void StartExchangeModule() {
  TheExchangeEvent();
  ThreadsEnded();
  Threads();
}

void StopExchangeModule() {
  for (Running& r : Threads()) r.thread.join();
  Threads().clear();
}

void LaunchExchangeThread(std::function<void()> body) {
  JoinFinished();
  auto finished = std::make_shared<std::atomic<bool>>(false);
  {
    std::lock_guard<std::mutex> hold(g_threads_lock);
    ++g_live_threads;
  }
  try {
    std::thread thread([body = std::move(body), finished] {
      // Nothing may leave a thread: even running out of memory while reporting a failure must not end
      // the host's process.
      try {
        body();
      } catch (...) {
      }
      {
        std::lock_guard<std::mutex> hold(g_threads_lock);
        --g_live_threads;
      }
      ThreadsEnded().notify_all();
      finished->store(true, std::memory_order_release);
    });
    Threads().push_back(Running{std::move(thread), std::move(finished)});
  } catch (...) {
    std::lock_guard<std::mutex> hold(g_threads_lock);
    --g_live_threads;
    throw;
  }
}

bool WaitForExchangeThreads(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> hold(g_threads_lock);
  return ThreadsEnded().wait_for(hold, limit, [] { return g_live_threads == 0; });
}

}  // namespace sd::exchange
