// CallServer: the calling side of one exchange, shared by the four operations that reach a server.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "exchange/codec.h"

namespace sd::exchange {

// Builds the request with `step` (which logs the request line and replaces the 50 zero bytes it is
// handed with the frame), starts the exchange thread, and waits for it at most `wait_ms` (a negative
// value is taken as 10000). Returns once ExchangeResult holds a decoded reply; otherwise raises the
// time-out message, the thread's failure text, or the failure message.
void CallServer(const std::string& host, std::int32_t port, std::int32_t wait_ms,
                const std::function<void(Bytes& data)>& step, std::string_view timeout_message,
                std::string_view failure_message);

}  // namespace sd::exchange
