// Storage of the module-wide exchange result and packet counters.
#include "exchange/exchange_result.h"

namespace sd::exchange {

std::int32_t DiscountCounter = 0;
std::int32_t CashlessCounter = 0;
ExchangeResultData ExchangeResult;

}  // namespace sd::exchange
