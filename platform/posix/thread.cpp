// Threads on POSIX: a system thread with a flag that the body's return sets, on a stack that the library
// keeps from one thread to the next. Unload joins them, so nothing here needs to hold the library. A join
// also waits for the kernel to let the thread go, as a Windows join does, so that a joined thread no
// longer counts among the process's threads.
#include "platform/thread.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <thread>

namespace sd::platform {

struct ThreadState {
  pthread_t thread{};
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  std::atomic<bool> finished{false};
  std::atomic<long> kernel_id{0};
  // Set by the first of the detacher and the returning body; the second one frees the state. A thread
  // on a kept stack that is detached is freed by the stacks' keeper instead, once it has left the system.
  std::atomic<bool> one_gone{false};
  void* stack = nullptr;  // a kept stack, or nullptr for one of the C library's
};

namespace {

bool KernelLists(const ThreadState& thread);

// The stacks that the threads run on. The C library keeps the stacks of ended threads for the next ones,
// but clears them first: when a thread ends, all of its stack but the top is handed back to the system,
// which costs the ending thread a system call and the other processors a flush of their address caches,
// and costs the next thread a page fault for every page it touches again. An exchange starts a thread
// for every request, so the threads here run on stacks that stay as they were: taken at the start, put
// back once the thread has been joined. A detached thread's stack comes back only once the thread has
// left the system. The keeper holds fixed arrays and nothing on the heap, so that it works from the
// library's load to its unload, and a join after its destruction still finds it.
class StackKeeper {
 public:
  ~StackKeeper() {
    std::lock_guard<std::mutex> hold(lock_);
    Reclaim();
    while (kept_count_ > 0) Unmap(kept_[--kept_count_]);
    closed_ = true;
  }

  // A stack of the system's default size with a guard page below it, or nullptr: the thread then runs
  // on one of the C library's.
  void* Take() {
    std::lock_guard<std::mutex> hold(lock_);
    if (retired_count_ > 0) Reclaim();
    if (kept_count_ > 0) return kept_[--kept_count_];
    if (closed_) return nullptr;
    void* block = ::mmap(nullptr, Guard() + Size(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK,
                         -1, 0);
    if (block == MAP_FAILED) return nullptr;
    if (::mprotect(block, Guard(), PROT_NONE) != 0) {
      ::munmap(block, Guard() + Size());
      return nullptr;
    }
    return static_cast<char*>(block) + Guard();
  }

  // The stack of a thread that has been joined.
  void Give(void* stack) {
    if (stack == nullptr) return;
    std::lock_guard<std::mutex> hold(lock_);
    Keep(stack);
  }

  // A detached thread on a kept stack: its state and stack are freed here once it has left the system.
  // With no room to track it, the stack is left to the thread (and never used again).
  bool Retire(ThreadState* thread) {
    std::lock_guard<std::mutex> hold(lock_);
    if (retired_count_ == kRetiredCapacity) Reclaim();
    if (retired_count_ == kRetiredCapacity) return false;
    retired_[retired_count_++] = thread;
    return true;
  }

  std::size_t Size() {
    static const std::size_t size = [] {
      std::size_t s = 0;
      pthread_attr_t attr;
      if (::pthread_attr_init(&attr) == 0) {
        ::pthread_attr_getstacksize(&attr, &s);
        ::pthread_attr_destroy(&attr);
      }
      return s >= 1024 * 1024 ? s : std::size_t{8} * 1024 * 1024;
    }();
    return size;
  }

 private:
  static constexpr int kKeptCapacity = 16;
  static constexpr int kRetiredCapacity = 64;

  static std::size_t Guard() {
    static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return page;
  }

  void Unmap(void* stack) { ::munmap(static_cast<char*>(stack) - Guard(), Guard() + Size()); }

  void Keep(void* stack) {
    if (!closed_ && kept_count_ < kKeptCapacity) {
      kept_[kept_count_++] = stack;
    } else {
      Unmap(stack);
    }
  }

  // Frees the detached threads that have left the system: their body has returned, after which the
  // thread no longer touches its state, and the kernel no longer lists it, after which nothing runs on
  // its stack.
  void Reclaim() {
    for (int i = 0; i < retired_count_;) {
      ThreadState* t = retired_[i];
      if (t->one_gone.load(std::memory_order_acquire) && !KernelLists(*t)) {
        Keep(t->stack);
        delete t;
        retired_[i] = retired_[--retired_count_];
      } else {
        ++i;
      }
    }
  }

  std::mutex lock_;
  bool closed_ = false;
  int kept_count_ = 0;
  void* kept_[kKeptCapacity] = {};
  int retired_count_ = 0;
  ThreadState* retired_[kRetiredCapacity] = {};
};

StackKeeper g_stacks;

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
  pthread_attr_t attr;
  if (::pthread_attr_init(&attr) != 0) {
    delete state;
    return nullptr;
  }
#ifdef __linux__
  // Elsewhere nothing tells when a detached thread has left its stack.
  state->stack = g_stacks.Take();
  if (state->stack != nullptr && ::pthread_attr_setstack(&attr, state->stack, g_stacks.Size()) != 0) {
    g_stacks.Give(state->stack);
    state->stack = nullptr;
  }
#endif
  const int started = ::pthread_create(&state->thread, &attr, &ThreadMain, state);
  ::pthread_attr_destroy(&attr);
  if (started != 0) {
    g_stacks.Give(state->stack);
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
  g_stacks.Give(thread->stack);
  delete thread;
}

bool TryJoin(ThreadHandle thread) {
  if (!HasFinished(thread) || KernelLists(*thread)) return false;
#ifdef __GLIBC__
  if (::pthread_tryjoin_np(thread->thread, nullptr) != 0) return false;
  g_stacks.Give(thread->stack);
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
  if (thread->stack != nullptr && g_stacks.Retire(thread)) return;
  if (thread->one_gone.exchange(true, std::memory_order_acq_rel)) delete thread;
}

}  // namespace

SD_DEFINE_CALL_TABLE(ThreadOps, SD_THREAD_CALLS)

}  // namespace sd::platform
