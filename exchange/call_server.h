// CallServer: the calling side of one exchange, shared by the four operations that reach a server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "exchange/codec.h"

namespace sd::exchange {

// The message for a port that no server can listen on: "Port N is outside 1..65535".
inline std::string PortOutsideRange(std::int32_t port) {
  return "Port " + std::to_string(port) + " is outside 1..65535";
}

// Sends the framed request to host:port on an exchange thread and waits for it at most `wait_ms` (a
// negative value is taken as 10000); a wait for a free exchange thread counts against that time. Gives
// back the decoded reply; otherwise raises the time-out message (ETimeOut), the thread's failure text or
// the failure message (ECommunicationError). A port outside 1..65535 fails at once, as an exchange failure naming the port.
DecodedReply CallServer(const std::string& host, std::int32_t port, std::int32_t wait_ms, Bytes frame,
                        std::string_view timeout_message, std::string_view failure_message);

}  // namespace sd::exchange
