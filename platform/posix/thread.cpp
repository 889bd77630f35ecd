// Threads on POSIX: a system thread with a flag that the body's return sets. Unload joins them, so
// nothing here needs to hold the library.
#include "platform/thread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <new>

namespace sd::platform {

struct ThreadState {
  pthread_t thread{};
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  std::atomic<bool> finished{false};
};

namespace {

void* ThreadMain(void* parameter) {
  auto* state = static_cast<ThreadState*>(parameter);
  state->body(state->argument);
  state->finished.store(true, std::memory_order_release);
  return nullptr;
}

ThreadHandle Start(void (*body)(void*), void* argument) {
  auto* state = new (std::nothrow) ThreadState;
  if (state == nullptr) return nullptr;
  state->body = body;
  state->argument = argument;
  if (::pthread_create(&state->thread, nullptr, &ThreadMain, state) != 0) {
    delete state;
    return nullptr;
  }
  return state;
}

bool HasFinished(ThreadHandle thread) { return thread->finished.load(std::memory_order_acquire); }

void Join(ThreadHandle thread) {
  ::pthread_join(thread->thread, nullptr);
  delete thread;
}

bool TryJoin(ThreadHandle thread) {
  if (!HasFinished(thread)) return false;
#ifdef __GLIBC__
  if (::pthread_tryjoin_np(thread->thread, nullptr) != 0) return false;
  delete thread;
  return true;
#else
  // Without a join that does not wait, a thread whose body has returned is a few instructions from its
  // end.
  Join(thread);
  return true;
#endif
}

const ThreadOps kSystem{&Start, &HasFinished, &Join, &TryJoin};
std::atomic<const ThreadOps*> g_current{&kSystem};

}  // namespace

const ThreadOps& Threads() { return *g_current.load(std::memory_order_acquire); }
const ThreadOps& SystemThreads() { return kSystem; }
const ThreadOps* SetThreads(const ThreadOps* ops) {
  return g_current.exchange(ops != nullptr ? ops : &kSystem, std::memory_order_acq_rel);
}

}  // namespace sd::platform
