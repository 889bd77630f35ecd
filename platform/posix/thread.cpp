// Threads on POSIX: a standard thread with a flag that the body's return sets. Unload joins them, so
// nothing here needs to hold the library.
#include "platform/thread.h"

#include <atomic>
#include <exception>
#include <new>
#include <system_error>
#include <thread>

namespace sd::platform {

struct ThreadState {
  std::thread thread;
  std::atomic<bool> finished{false};
};

namespace {

ThreadHandle Start(void (*body)(void*), void* argument) {
  auto* state = new (std::nothrow) ThreadState;
  if (state == nullptr) return nullptr;
  try {
    state->thread = std::thread([state, body, argument] {
      body(argument);
      state->finished.store(true, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    delete state;
    return nullptr;
  }
  return state;
}

bool HasFinished(ThreadHandle thread) { return thread->finished.load(std::memory_order_acquire); }

void Join(ThreadHandle thread) {
  thread->thread.join();
  delete thread;
}

const ThreadOps kSystem{&Start, &HasFinished, &Join};
std::atomic<const ThreadOps*> g_current{&kSystem};

}  // namespace

const ThreadOps& Threads() { return *g_current.load(std::memory_order_acquire); }
const ThreadOps& SystemThreads() { return kSystem; }
const ThreadOps* SetThreads(const ThreadOps* ops) {
  return g_current.exchange(ops != nullptr ? ops : &kSystem, std::memory_order_acq_rel);
}

}  // namespace sd::platform
