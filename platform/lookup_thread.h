// A name lookup on a thread of the thread table, for the socket services of a platform whose resolver
// cannot be waited for within a limit: the caller waits as long as it may, and the thread, detached,
// finishes the lookup on its own when the caller has stopped waiting.
#pragma once

#include <array>
#include <cstdint>

namespace sd::platform {

// The platform's blocking lookup; on failure it leaves its code for the system table's `last_error`.
using BlockingLookup = int (*)(const char* name, std::array<std::uint8_t, 4>* address);

// Runs lookup(name) on a new thread and waits for it at most limit_ms: 0 found, -1 with the last socket
// error set (the lookup's own, or 10055 when no thread could start), -2 when the limit ran out first.
int LookupOnThread(BlockingLookup lookup, const char* name, std::array<std::uint8_t, 4>* address, int limit_ms);

}  // namespace sd::platform
