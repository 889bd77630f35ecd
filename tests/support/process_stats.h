// What the running test program holds: its threads and its open handles, read from the system.
#pragma once

namespace sd::testing {

// The threads of this process, or -1 when the system cannot tell.
int ThreadCount();

// The open handles of this process (file descriptors on POSIX), or -1 when the system cannot tell.
int HandleCount();

}  // namespace sd::testing
