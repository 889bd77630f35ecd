// smartdriver-host check: what an integrator at a till checks before the first sale. The settings with
// where each came from, then one line per step (the log folder, the servers' address, a connection to each
// port, optionally a card query), each "ok" or the driver's message.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace sd::host {

// Runs a card query for the wallet through the loaded driver: "" with the card number in *card when it
// went through, otherwise the driver's message (UTF-8).
using CardQuery = std::function<std::string(int wallet, std::string* card)>;

// Prints the five settings of the INI file and runs the steps; `wallet` below 0 runs no card query.
// Nothing is sent to a server but the card query. Returns true when every step passed.
bool RunCheck(int wallet, const CardQuery& query, std::ostream& out);

}  // namespace sd::host
