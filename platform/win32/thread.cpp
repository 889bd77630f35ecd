// Threads on Windows: each holds a reference to the module whose code it runs and leaves through
// FreeLibraryAndExitThread, so a host's FreeLibrary never pulls the code from under it. A join waits for
// the thread's end, so that a joined thread no longer counts among the process's threads; under the
// loader lock (DllMain) it waits only for the body's return, signalled by an event, since the end needs
// that lock and the thread no longer runs the module's code once its body has returned. A thread that
// the system ended before its body returned (at process exit, when the runtime's destructors join what
// is left) counts as returned.
#include "platform/thread.h"

#include <windows.h>

#include "platform/win32/loader_lock.h"

#include <atomic>
#include <new>

namespace sd::platform {

namespace win32 {
namespace {
thread_local bool g_in_loader_callout = false;
}  // namespace
bool InLoaderCallout() { return g_in_loader_callout; }
void SetInLoaderCallout(bool inside) { g_in_loader_callout = inside; }
}  // namespace win32

struct ThreadState {
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  HMODULE module = nullptr;       // the reference the thread holds while it runs
  HANDLE returned = nullptr;      // set once the body has returned
  HANDLE thread = nullptr;        // signalled once the thread has ended, however it ended
  std::atomic<bool> finished{false};
  // Set by the first of the detacher and the returning body; the second one frees the state.
  std::atomic<bool> one_gone{false};
};

namespace {

void Release(ThreadState* state) {
  if (state->returned != nullptr) ::CloseHandle(state->returned);
  if (state->thread != nullptr) ::CloseHandle(state->thread);
  delete state;
}

DWORD WINAPI ThreadMain(void* parameter) {
  auto* state = static_cast<ThreadState*>(parameter);
  state->body(state->argument);
  // Whatever the thread needs after signalling is copied first: a join may free the state at once.
  const HMODULE module = state->module;
  const HANDLE returned = state->returned;
  state->finished.store(true, std::memory_order_release);
  ::SetEvent(returned);
  if (state->one_gone.exchange(true, std::memory_order_acq_rel)) Release(state);
  ::FreeLibraryAndExitThread(module, 0);
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
  state->thread = ::CreateThread(nullptr, 0, &ThreadMain, state, 0, nullptr);
  if (state->thread == nullptr) {
    ::FreeLibrary(state->module);
    Release(state);
    return nullptr;
  }
  return state;
}

bool HasFinished(ThreadHandle thread) { return thread->finished.load(std::memory_order_acquire); }

void Join(ThreadHandle thread) {
  if (win32::InLoaderCallout()) {
    const HANDLE ends[] = {thread->returned, thread->thread};
    ::WaitForMultipleObjects(2, ends, FALSE, INFINITE);
  } else {
    ::WaitForSingleObject(thread->thread, INFINITE);
  }
  Release(thread);
}

bool TryJoin(ThreadHandle thread) {
  if (::WaitForSingleObject(thread->thread, 0) != WAIT_OBJECT_0) return false;
  Release(thread);
  return true;
}

void Detach(ThreadHandle thread) {
  if (thread->one_gone.exchange(true, std::memory_order_acq_rel)) Release(thread);
}

}  // namespace

SD_DEFINE_CALL_TABLE(ThreadOps, SD_THREAD_CALLS)

}  // namespace sd::platform
