// Threads that run the library's own code after the call that started them has returned: the exchange
// threads. Each call goes through a table of functions that a test may replace, to make a start fail.
//
// The contract, on every system:
// - `start` runs body(argument) on a new thread and gives its handle, or nullptr when the system cannot
//   start a thread; nothing then runs, and the caller takes its own failure path. The body must not
//   throw.
// - `has_finished` tells, without waiting, whether the body has returned.
// - `join` waits until the body has returned, then releases the handle.
// - `try_join` joins only a thread that has already ended altogether, without waiting: true when it did
//   (the handle is released then, as by `join`). A thread whose body has returned may still be on its way
//   out; a join then waits for that, and the system keeps the thread's stack from the next thread until
//   it is joined.
// - `detach` releases the handle without waiting: the thread frees what it holds when its body returns.
//   It is for a thread that its starter may stop waiting for (a name lookup that takes too long).
// Every handle that `start` gave is joined (by `join` or a `try_join` that did) or detached exactly once,
// from another thread.
//
// Keeping the code under a running thread:
// - POSIX: the library's unload joins every thread before anything of the library goes; each thread
//   ends on its own within its limits, so the unload waits at most that long.
// - Windows: DllMain runs under the loader lock and never waits. So before the body runs, the thread
//   takes a reference to the module that holds its code (GetModuleHandleEx with the address of its own
//   start routine), and it leaves through FreeLibraryAndExitThread, which drops that reference only once
//   nothing of the module runs on it any more. A host's FreeLibrary then never pulls the code from under
//   a thread; the module goes after its last thread. By the time DllMain sees the unload every body has
//   returned, so a join there does not wait (the thread may still be on its way out, holding the module).
//   At process exit the system has already ended the other threads, and DllMain joins nothing.
#pragma once

#include "platform/call_table.h"

namespace sd::platform {

struct ThreadState;
using ThreadHandle = ThreadState*;

// The calls, one row each: XX(result, name, the system function's name, (parameters)).
#define SD_THREAD_CALLS(XX)                                                                                    \
  XX(ThreadHandle, start, Start, (void (*body)(void* argument), void* argument))                               \
  XX(bool, has_finished, HasFinished, (ThreadHandle thread))                                                   \
  XX(void, join, Join, (ThreadHandle thread))                                                                  \
  XX(bool, try_join, TryJoin, (ThreadHandle thread))                                                           \
  XX(void, detach, Detach, (ThreadHandle thread))

struct ThreadOps {
  SD_THREAD_CALLS(SD_CALL_FIELD)
};

// The operations in force (Threads()), the system's own ones (SystemThreads()), and SetThreads(), which
// installs another table (nullptr brings back the system's) and returns the one it replaced.
SD_CALL_TABLE_FUNCTIONS(ThreadOps, Threads)

}  // namespace sd::platform
