// The outcome of one exchange with a server, and the module-wide result and packet counters that the
// card operations and the exchange thread share.
#pragma once

#include <cstdint>
#include <string>

namespace sd::exchange {

// What one exchange produced. The four reply fields are written only by the decoder of a type 1 or 3
// reply; the exchange thread resets Status, ErrorText and CardNumber when it starts.
struct ExchangeResultData {
  std::int32_t Status = 0;  // 0 no result yet, 1 reply decoded, -1 failed
  std::string ErrorText;    // Windows-1251 operator message of the last failure
  std::int64_t CardNumber = 0;
  std::uint8_t DiscountTenths = 0;
  std::int32_t DiscountedPrice = 0;
  std::int32_t Approval = 0;
};

// The module-wide state, zero when the library is loaded. Nothing here is locked: the exchange thread
// writes ExchangeResult and the waiting operation reads it only after the hand-over.
extern std::int32_t DiscountCounter;
extern std::int32_t CashlessCounter;
extern ExchangeResultData ExchangeResult;

}  // namespace sd::exchange
