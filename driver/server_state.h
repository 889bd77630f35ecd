// What the card operations carry from one exchange to the next: the two packet counters, and what the
// last reply left. This is the one place that state lives; the operations read it from here.
#pragma once

#include <cstdint>
#include "exchange/codec.h"
#include "platform/boundary.h"

namespace sd::driver {

// The packet counters: the discount server's requests (sale start, discount, cancel) and the cashless
// server's (card query, sale, return). Each build sends the value and advances it, whether or not the
// exchange then succeeds.
extern std::int32_t DiscountCounter;
extern std::int32_t CashlessCounter;

// The card and amounts of the last reply (a sale cancel sends its card back). Nothing of an earlier
// reply outlives the next one, so no value of it can reach a later operation's record.
struct LastReplyState {
  std::int64_t CardNumber = 0;       // cleared when an exchange starts; set by a reply with the fields
  std::uint8_t DiscountTenths = 0;
  std::int32_t DiscountedPrice = 0;
  std::int32_t Approval = 0;

  // An exchange starts: the card of the one before is forgotten, whatever comes of this one.
  void ExchangeStarted() { CardNumber = 0; }
  // Takes what a reply carries; a reply without the fields leaves everything zero.
  void Keep(const exchange::DecodedReply& reply);
};

// All zero when the library is loaded.
extern LastReplyState LastReply;

// Held by a server entry for its whole run, so that the entries run one at a time: a host that calls a
// second one while the first still runs (from another thread) has it wait for the first to end. One
// exchange's result, the counters and the last reply are thereby never shared between two calls. A host
// that unwinds through the entry (catching an access violation in it) leaves it unlocked.
[[nodiscard]] platform::EntryLock OneServerCallAtATime();

}  // namespace sd::driver
