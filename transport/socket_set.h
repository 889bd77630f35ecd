// A set of up to 64 socket handles for the readability wait, with a lock of its own for adding
// handles and taking a copy, so a wait works on a copy outside the lock.
#pragma once

#include <mutex>

#include "platform/sockets.h"

namespace sd::transport {

class SocketSet {
 public:
  SocketSet() = default;
  SocketSet(const SocketSet&) = delete;
  SocketSet& operator=(const SocketSet&) = delete;

  // Raises SetSizeExceededError for a 65th handle, leaving the set as it was.
  void Add(sd::platform::SocketHandle handle);
  int Count() const;
  sd::platform::HandleSet Copy() const;

 private:
  mutable std::mutex lock_;
  sd::platform::HandleSet handles_;
};

}  // namespace sd::transport
