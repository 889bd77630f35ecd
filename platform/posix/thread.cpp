// Threads on POSIX: a standard thread with a flag that the body's return sets. Unload joins them, so
// nothing here needs to hold the library. A join also waits for the kernel to let the thread go, as a
// Windows join does, so that a joined thread no longer counts among the process's threads.
#include "platform/thread.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <string>
#include <new>
#include <system_error>
#include <thread>

namespace sd::platform {

struct ThreadState {
  std::thread thread;
  std::atomic<bool> finished{false};
  std::atomic<long> kernel_id{0};
  // Set by the first of the detacher and the returning body; the second one frees the state.
  std::atomic<bool> one_gone{false};
};

namespace {

ThreadHandle Start(void (*body)(void*), void* argument) {
  auto* state = new (std::nothrow) ThreadState;
  if (state == nullptr) return nullptr;
  try {
    state->thread = std::thread([state, body, argument] {
      state->kernel_id.store(static_cast<long>(::gettid()), std::memory_order_relaxed);
      body(argument);
      state->finished.store(true, std::memory_order_release);
      if (state->one_gone.exchange(true, std::memory_order_acq_rel)) delete state;
    });
  } catch (const std::system_error&) {
    delete state;
    return nullptr;
  }
  return state;
}

bool HasFinished(ThreadHandle thread) { return thread->finished.load(std::memory_order_acquire); }

// The C library's join returns once the thread has left its code; the kernel lists it a moment longer,
// and under load that moment can be long. Bounded, in case the number is already another thread's.
void AwaitKernelEnd(long kernel_id) {
#ifdef __linux__
  if (kernel_id == 0) return;
  const std::string task = "/proc/self/task/" + std::to_string(kernel_id);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (::access(task.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
#else
  (void)kernel_id;
#endif
}

void Join(ThreadHandle thread) {
  thread->thread.join();
  AwaitKernelEnd(thread->kernel_id.load(std::memory_order_relaxed));
  delete thread;
}

void Detach(ThreadHandle thread) {
  thread->thread.detach();
  if (thread->one_gone.exchange(true, std::memory_order_acq_rel)) delete thread;
}

}  // namespace

SD_DEFINE_CALL_TABLE(ThreadOps, SD_THREAD_CALLS)

}  // namespace sd::platform
