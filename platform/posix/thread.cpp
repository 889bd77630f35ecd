// Threads on POSIX: a system thread with a flag that the body's return sets. Unload joins them, so
// nothing here needs to hold the library. A join also waits for the kernel to let the thread go, as a
// Windows join does, so that a joined thread no longer counts among the process's threads.
#include "platform/thread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

namespace sd::platform {

struct ThreadState {
  pthread_t thread{};
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  std::atomic<bool> finished{false};
  std::atomic<long> kernel_id{0};
  // Set by the first of the detacher and the returning body; the second one frees the state.
  std::atomic<bool> one_gone{false};
};

namespace {

void* ThreadMain(void* parameter) {
  auto* state = static_cast<ThreadState*>(parameter);
  state->kernel_id.store(static_cast<long>(::gettid()), std::memory_order_relaxed);
  state->body(state->argument);
  state->finished.store(true, std::memory_order_release);
  if (state->one_gone.exchange(true, std::memory_order_acq_rel)) delete state;
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

// The C library's join returns once the thread has left its code; the kernel lists it a moment longer,
// and under load that moment can be long.
bool KernelLists(const ThreadState& thread) {
#ifdef __linux__
  const long id = thread.kernel_id.load(std::memory_order_relaxed);
  // A signal of 0 only asks whether the process still has the thread: the same answer as a look under
  // /proc/self/task, without a path to build and walk.
  static const pid_t process = ::getpid();
  return id != 0 && ::syscall(SYS_tgkill, process, static_cast<pid_t>(id), 0) == 0;
#else
  (void)thread;
  return false;
#endif
}

// Bounded, in case the number is already another thread's.
void AwaitKernelEnd(const ThreadState& thread) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (KernelLists(thread) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

void Join(ThreadHandle thread) {
  ::pthread_join(thread->thread, nullptr);
  AwaitKernelEnd(*thread);
  delete thread;
}

bool TryJoin(ThreadHandle thread) {
  if (!HasFinished(thread) || KernelLists(*thread)) return false;
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

void Detach(ThreadHandle thread) {
  ::pthread_detach(thread->thread);
  if (thread->one_gone.exchange(true, std::memory_order_acq_rel)) delete thread;
}

}  // namespace

SD_DEFINE_CALL_TABLE(ThreadOps, SD_THREAD_CALLS)

}  // namespace sd::platform
