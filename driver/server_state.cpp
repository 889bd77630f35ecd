// The module-wide state that spans the card operations.
#include "driver/server_state.h"

#include <mutex>

namespace sd::driver {

std::int32_t DiscountCounter = 0;
std::int32_t CashlessCounter = 0;
LastReplyState LastReply;

namespace {
// Constant-initialised, so that it is there before any entry can be called and until the unload.
std::mutex g_server_calls;
}  // namespace

platform::EntryLock OneServerCallAtATime() { return platform::EntryLock(g_server_calls); }

void LastReplyState::Keep(const exchange::DecodedReply& reply) {
  if (!reply.HasFields) {
    *this = LastReplyState{};
    return;
  }
  CardNumber = reply.CardNumber;
  DiscountTenths = reply.DiscountTenths;
  DiscountedPrice = reply.DiscountedPrice;
  Approval = reply.Approval;
}

}  // namespace sd::driver
