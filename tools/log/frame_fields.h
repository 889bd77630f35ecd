// The hex dumps of the log decoded into the fields of a request or a reply, with their checksum
// checked the way the driver checks it; a dump that cannot be decoded keeps its bytes and a reason.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sd::logtool {

struct FrameFields {
  bool request = true;              // sent by the driver, or received from a server
  std::vector<std::uint8_t> raw;    // the bytes as logged, still stuffed
  bool decoded = false;             // false: `reason` says why, and only `raw` holds anything
  std::string reason;
  int type = -1;
  bool checksum_ok = false;
  unsigned checksum_computed = 0;
  unsigned checksum_carried = 0;
  // A request: its counter, wallet, quantity in thousandths, and the unit price in hundredths (types 1
  // and 3) or the card (type 2).
  // A reply's bytes 2 to 6 are no concern of the driver, but the servers send back the request's counter
  // and wallet there (has_echo); that ties a late reply to its own request.
  bool has_echo = false;
  std::int32_t counter = 0;
  int wallet = 0;
  std::int32_t quantity = 0;
  std::int32_t unit_price = 0;
  // A reply of type 1 or 3 (has_fields): its approval, discounted unit price in hundredths and
  // discount in tenths of a percent. The card belongs to both directions.
  bool has_fields = false;
  std::int32_t approval = 0;
  std::int32_t discounted_price = 0;
  int discount_tenths = 0;
  std::string card;
};

// Decodes the text after "данные:" of a frame sent (request) or received (reply).
FrameFields DecodeDump(std::string_view dump, bool request);

// One line in words: the type and fields, and whether the checksum holds; or the reason and the dump.
std::string Describe(const FrameFields& frame);

// A fixed-point amount as text: 4750 with 2 decimals is "47.50"; trim drops trailing zeros ("47.5").
std::string Fixed(std::int64_t value, int decimals, bool trim);

}  // namespace sd::logtool
