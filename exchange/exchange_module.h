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

// Runs `body` on a new thread that the module keeps until it has ended and been joined. False when the
// system could not start a thread; `body` then never runs.
bool LaunchExchangeThread(std::function<void()> body);

// Waits until no exchange thread's body runs or the limit passes; true when none runs.
bool WaitForExchangeThreads(std::chrono::milliseconds limit);

}  // namespace sd::exchange
