// Start-up, shutdown and the threads of the exchange module. The threads are started through the
// platform and joined, never left to themselves: on POSIX nothing else keeps a thread from still running
// the library's code while the host unloads the library under it.
#include "exchange/exchange_module.h"

#include <condition_variable>
#include <iterator>
#include <list>
#include <memory>
#include <mutex>
#include <utility>

#include "exchange/exchange_event.h"
#include "platform/thread.h"

namespace sd::exchange {
namespace {

struct Running {
  platform::ThreadHandle handle = nullptr;
  bool body_returned = false;  // set by the thread itself as the last thing it does under the lock
};

// Constant-initialised, so that they are there whenever a thread or the unload reaches them.
std::mutex g_lock;
int g_bodies_running = 0;  // threads whose body has not yet returned

// First reached from module start-up, so these are destroyed only after module shutdown has run.
std::condition_variable& BodyReturned() {
  static std::condition_variable cv;
  return cv;
}
void JoinAll(std::list<Running>& threads) {
  for (Running& r : threads) platform::Threads().join(r.handle);
  threads.clear();
}
// A program that links the module without the library's shutdown still joins its threads at exit.
struct ThreadList : std::list<Running> {
  ~ThreadList() { JoinAll(*this); }
};
std::list<Running>& Threads() {
  static ThreadList threads;
  return threads;
}

struct Launch {
  std::function<void()> body;
  Running* running;
};

void RunBody(void* argument) {
  std::unique_ptr<Launch> launch(static_cast<Launch*>(argument));
  // Nothing may leave a thread: even running out of memory while reporting a failure must not end the
  // host's process.
  try {
    launch->body();
  } catch (...) {
  }
  Running* running = launch->running;
  launch.reset();
  {
    std::lock_guard<std::mutex> hold(g_lock);
    --g_bodies_running;
    running->body_returned = true;
  }
  BodyReturned().notify_all();
}

// Joins the threads whose body has returned; each is at most a few instructions from its end, and none
// of them needs the lock any more. Called with the lock held. With `waiting` false, a thread still on
// its way out is left for a later call rather than waited for: the system hands its stack to the next
// thread only once it has ended and been joined, and until then a new thread costs a new stack.
void JoinReturned(bool waiting = true) {
  auto& threads = Threads();
  for (auto it = threads.begin(); it != threads.end();) {
    bool joined = false;
    if (it->body_returned) {
      if (waiting) {
        platform::Threads().join(it->handle);
        joined = true;
      } else {
        joined = platform::Threads().try_join(it->handle);
      }
    }
    it = joined ? threads.erase(it) : std::next(it);
  }
}

}  // namespace

void StartExchangeModule() {
  TheExchangeEvent();
  BodyReturned();
  Threads();
}

void StopExchangeModule() {
  std::list<Running> threads;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    threads.swap(Threads());
  }
  JoinAll(threads);
}

Launched LaunchExchangeThread(std::function<void()> body, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> hold(g_lock);
  // No thread of its own and no polling: the thread whose body returns wakes this wait.
  if (!BodyReturned().wait_until(hold, deadline, [] { return g_bodies_running < kMaxExchangeThreads; }))
    return Launched::kNoSlot;
  // At the limit, those whose body has returned are joined before the new one starts, so that the system
  // never holds more than the limit, not even for the instant a thread takes to end. Below it, those that
  // have ended altogether are joined only once the new thread runs (below): even with one more thread the
  // list stays within the limit, and the new exchange need not wait for the check of every ended thread.
  const bool at_limit = Threads().size() >= static_cast<std::size_t>(kMaxExchangeThreads);
  if (at_limit) JoinReturned();
  auto launch = std::make_unique<Launch>(Launch{std::move(body), nullptr});
  Running& running = Threads().emplace_back();
  launch->running = &running;
  // The new thread reaches the lock only at its end, after its handle has been stored here.
  running.handle = platform::Threads().start(&RunBody, launch.get());
  if (running.handle == nullptr) {
    Threads().pop_back();
    return Launched::kNoThread;
  }
  launch.release();
  ++g_bodies_running;
  if (!at_limit) JoinReturned(false);
  return Launched::kStarted;
}

bool WaitForExchangeThreads(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> hold(g_lock);
  const bool none = BodyReturned().wait_for(hold, limit, [] { return g_bodies_running == 0; });
  JoinReturned();
  return none;
}

}  // namespace sd::exchange
