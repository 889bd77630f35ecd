// What the running program holds: its threads, its open handles and its resident memory, read from the
// system, and whether that system is Wine. The tests and the soak run (bench/soak.cpp) share it.
#pragma once

namespace sd::testing {

// The threads of this process, or -1 when the system cannot tell.
int ThreadCount();

// The open handles of this process (file descriptors on POSIX), or -1 when the system cannot tell.
int HandleCount();

// The bytes of this process's memory that are resident (the working set on Windows), or -1 when the
// system cannot tell.
long long ResidentBytes();

// Whether this Windows program runs under Wine, whose sockets report a peer's reset (a close with a zero
// linger) as an orderly close; the tests of a reset allow for it. False on POSIX.
bool UnderWine();

}  // namespace sd::testing
