// How a failure leaves an entry of the host's table (and GeTDriver): each entry catches whatever its work
// raised, lets every object of the call go, and hands the failure here as its very last act.
//
// POSIX: the C++ exception goes on to the host, as it came.
// Windows: the C++ exception goes on only when the caller's frame can be unwound by the driver's own
// runtime (a host built with the same MinGW-w64 toolchain). Any other caller gets the structured exception
// of smartdriver/refusal.h instead; nothing of the driver's is left to clean up over the frames that its
// handler skips, because the entry has already let everything go.
#pragma once

#include <exception>

namespace sd::platform {

// Sends `failure` on to the caller whose return address is `return_address`. The entry's own
// std::exception_ptr is passed so that it can be emptied before a structured exception leaves.
[[noreturn]] void LeaveEntry(std::exception_ptr& failure, const void* return_address);

}  // namespace sd::platform
