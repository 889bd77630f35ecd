// Waiting for a console program to be told to stop: SIGINT or SIGTERM on POSIX, a console control
// event on Windows. Each platform has its own file behind this header, picked by the build.
#pragma once

#include <string>

namespace sd::emulator {

// Takes the stop requests away from their default action. Called before any thread starts, so that on
// POSIX every thread inherits the blocked signals and only WaitForStopSignal receives them.
void TakeOverStopSignals();

// Blocks until a stop is requested and returns its name: "SIGINT", "SIGTERM", "Ctrl+C", ...
std::string WaitForStopSignal();

}  // namespace sd::emulator
