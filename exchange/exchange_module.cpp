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
int g_starting = 0;        // launches whose thread is being started, its handle not yet stored

// First reached from module start-up, so these are destroyed only after module shutdown has run.
std::condition_variable& BodyReturned() {
  static std::condition_variable cv;
  return cv;
}
void JoinAll(std::list<Running>& threads) {
  for (Running& r : threads)
    if (r.handle != nullptr) platform::Threads().join(r.handle);
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

// A thread whose body has returned is at most a few instructions from its end, and needs neither the
// lock nor its entry any more; one whose start is still under way has no handle yet.
bool Ended(const Running& r) { return r.body_returned && r.handle != nullptr; }

// Joins the threads whose body has returned. Called with the lock held.
void JoinReturned() {
  Threads().remove_if([](Running& r) {
    if (!Ended(r)) return false;
    platform::Threads().join(r.handle);
    return true;
  });
}

// Joins those of the ended threads that have left the system altogether, without the lock: the check
// asks the system, and a thread on its way out must not find the lock taken for it. The others go back
// to the list for a later call rather than being waited for. The system hands a stack to the next thread
// only once its thread has ended and been joined; until then a new thread costs a new stack.
void TryJoinEnded(std::unique_lock<std::mutex>& hold) {
  std::list<Running> ended;
  auto& threads = Threads();
  for (auto it = threads.begin(); it != threads.end();) {
    const auto next = std::next(it);
    if (Ended(*it)) ended.splice(ended.end(), threads, it);
    it = next;
  }
  if (ended.empty()) return;
  hold.unlock();
  ended.remove_if([](Running& r) { return platform::Threads().try_join(r.handle); });
  hold.lock();
  threads.splice(threads.end(), ended);
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
    std::unique_lock<std::mutex> hold(g_lock);
    BodyReturned().wait(hold, [] { return g_starting == 0; });
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
  const auto running = Threads().emplace(Threads().end());
  launch->running = &*running;
  // The slot is taken before the lock is let go, so that the limit holds. The system's start of the
  // thread, the slowest step here, runs without the lock: the thread of the exchange before needs it for
  // its last step, and often reaches it just now.
  ++g_bodies_running;
  ++g_starting;
  hold.unlock();
  const platform::ThreadHandle handle = platform::Threads().start(&RunBody, launch.get());
  hold.lock();
  --g_starting;
  if (handle == nullptr) {
    Threads().erase(running);
    --g_bodies_running;
    hold.unlock();
    BodyReturned().notify_all();
    return Launched::kNoThread;
  }
  running->handle = handle;
  launch.release();
  if (!at_limit) TryJoinEnded(hold);
  hold.unlock();
  // Wakes a shutdown that waits for the start to end; without a waiter this costs no system call.
  BodyReturned().notify_all();
  return Launched::kStarted;
}

bool WaitForExchangeThreads(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> hold(g_lock);
  const bool none = BodyReturned().wait_for(hold, limit, [] { return g_bodies_running == 0; });
  JoinReturned();
  return none;
}

}  // namespace sd::exchange
