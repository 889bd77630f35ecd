// Threads on Windows: each holds a reference to the module whose code it runs and leaves through
// FreeLibraryAndExitThread, so a host's FreeLibrary never pulls the code from under it. A join waits for
// the body's return, signalled by an event, never for the thread's exit: the exit needs the loader lock,
// which the joiner may hold (DllMain), and the thread no longer runs the module's code once it has
// returned from the body.
#include "platform/thread.h"

#include <windows.h>

#include <atomic>
#include <new>

namespace sd::platform {

struct ThreadState {
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  HMODULE module = nullptr;       // the reference the thread holds while it runs
  HANDLE returned = nullptr;      // set once the body has returned
  std::atomic<bool> finished{false};
};

namespace {

DWORD WINAPI ThreadMain(void* parameter) {
  auto* state = static_cast<ThreadState*>(parameter);
  state->body(state->argument);
  // Whatever the thread needs after signalling is copied first: a join may free the state at once.
  const HMODULE module = state->module;
  const HANDLE returned = state->returned;
  state->finished.store(true, std::memory_order_release);
  ::SetEvent(returned);
  ::FreeLibraryAndExitThread(module, 0);
}

void Release(ThreadState* state) {
  if (state->returned != nullptr) ::CloseHandle(state->returned);
  delete state;
}

ThreadHandle Start(void (*body)(void*), void* argument) {
  auto* state = new (std::nothrow) ThreadState;
  if (state == nullptr) return nullptr;
  state->body = body;
  state->argument = argument;
  state->returned = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (state->returned == nullptr ||
      !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadMain),
                            &state->module)) {
    Release(state);
    return nullptr;
  }
  const HANDLE thread = ::CreateThread(nullptr, 0, &ThreadMain, state, 0, nullptr);
  if (thread == nullptr) {
    ::FreeLibrary(state->module);
    Release(state);
    return nullptr;
  }
  ::CloseHandle(thread);
  return state;
}

bool HasFinished(ThreadHandle thread) { return thread->finished.load(std::memory_order_acquire); }

void Join(ThreadHandle thread) {
  ::WaitForSingleObject(thread->returned, INFINITE);
  Release(thread);
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
