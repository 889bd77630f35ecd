// The exchange module's start-up and shutdown, and the exchange threads it owns until they have ended.
#pragma once

#include <chrono>
#include <functional>

namespace sd::exchange {

// Creates the module's exchange event. Runs at library start-up; calling it again does nothing.
void StartExchangeModule();

// Joins every exchange thread (each ends on its own within its operation's wait), so that no thread runs
// the library's code once it is unloaded. Runs at library unload.
void StopExchangeModule();

// At most this many exchange threads are alive at once. A thread whose operation stopped waiting lingers
// until its own limits end, a little past the wait; a host that retries in a loop, or a wait of 0, would
// otherwise pile such threads up, each with its socket. Eight leave room for the one exchange that an
// operation waits for with several lingering behind it, and stay well below the 64 sockets that one
// socket set can watch.
inline constexpr int kMaxExchangeThreads = 8;

enum class Launched { kStarted, kNoSlot, kNoThread };

// Runs `body` on a new thread that the module keeps until it has ended and been joined. While
// kMaxExchangeThreads run, first waits until one ends, at most until `deadline`: kNoSlot when none did.
// kNoThread when the system could not start a thread. Unless kStarted, `body` never runs.
Launched LaunchExchangeThread(std::function<void()> body, std::chrono::steady_clock::time_point deadline);

// Waits until no exchange thread's body runs or the limit passes, and joins the threads that have ended;
// true when none runs.
bool WaitForExchangeThreads(std::chrono::milliseconds limit);

}  // namespace sd::exchange
