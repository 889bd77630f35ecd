// The handle set of the readability wait.
#include "transport/socket_set.h"

#include <string>

#include "transport/transport_errors.h"
#include "transport/transport_texts.h"

namespace sd::transport {

void SocketSet::Add(sd::platform::SocketHandle handle) {
  std::lock_guard<std::mutex> hold(lock_);
  if (handles_.count >= static_cast<std::uint32_t>(sd::platform::kHandleSetSize))
    throw SetSizeExceededError(std::string(Text(TransportText::kSetSizeExceeded)));
  handles_.handles[handles_.count++] = handle;
}

int SocketSet::Count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<int>(handles_.count);
}

sd::platform::HandleSet SocketSet::Copy() const {
  std::lock_guard<std::mutex> hold(lock_);
  return handles_;
}

}  // namespace sd::transport
