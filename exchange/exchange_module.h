// The exchange module's start-up and shutdown, and the count of exchange threads that still run.
#pragma once

#include <chrono>

namespace sd::exchange {

// Creates the module's exchange event. Runs at library start-up; calling it again does nothing.
void StartExchangeModule();

// Waits until every exchange thread has ended (each ends on its own within its limits; `limit` is a
// last bound on top of that), then closes the event. Runs at library unload.
void StopExchangeModule(std::chrono::milliseconds limit);

// Exchange threads register while they run, so that unload can wait for them.
void ExchangeThreadStarted();
void ExchangeThreadEnded();
int LiveExchangeThreads();

// Waits until no exchange thread runs or the limit passes; true when none runs.
bool WaitForExchangeThreads(std::chrono::milliseconds limit);

}  // namespace sd::exchange
