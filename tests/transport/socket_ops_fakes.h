// Replacing the platform's socket services for one test: start from the system's table, change the
// calls to fail, install, and the system's table is back when the object goes.
#pragma once

#include "platform/sockets.h"

namespace sd::transport::testing {

class ReplacedSockets {
 public:
  ReplacedSockets() : ops(sd::platform::SystemSockets()) {}
  ~ReplacedSockets() { sd::platform::SetSockets(nullptr); }
  ReplacedSockets(const ReplacedSockets&) = delete;
  ReplacedSockets& operator=(const ReplacedSockets&) = delete;

  void Install() { sd::platform::SetSockets(&ops); }

  sd::platform::SocketOps ops;
};

}  // namespace sd::transport::testing
