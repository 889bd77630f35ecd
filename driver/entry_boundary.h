// The boundary of every entry the host calls: a thin outer function of the host's calling convention
// around the entry's work. The work's objects are all gone and its locks released by the time a failure
// leaves, so that however it leaves (platform/boundary.h), nothing is left behind in the driver's frames.
#pragma once

#include <exception>

#include "platform/boundary.h"
#include "smartdriver/entries.h"

namespace sd::driver {

template <auto Work>
struct Boundary;

// Entry is what stands in the table: it calls Work inside its frame and passes a failure on from it.
template <typename R, typename... Args, R (*Work)(Args...)>
struct Boundary<Work> {
  static R SD_STDCALL Entry(Args... args) {
    platform::EntryFrame frame;
    std::exception_ptr failure;
    try {
      return Work(args...);
    } catch (...) {
      failure = std::current_exception();
    }
    platform::LeaveEntry(failure, __builtin_return_address(0), frame);
  }
};

}  // namespace sd::driver
