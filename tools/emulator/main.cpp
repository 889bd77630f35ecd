// smartdriver-emulator: the discount and cashless servers on loopback, for trying the driver by hand
// and for scripts. The first output line names the ports it listens on.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include "exchange/codec.h"
#include "tools/emulator/emulator.h"
#include "tools/emulator/stop_signal.h"

namespace {

const char kUsage[] =
    "Usage: smartdriver-emulator [options]\n"
    "Listens on 127.0.0.1 as the discount server and the cashless server. Each connection carries one\n"
    "request and gets one reply: type 3 to type 3, type 1 to types 1 and 2.\n"
    "The first line printed is \"discount-port=N cashless-port=N\". SIGINT or SIGTERM stops it.\n"
    "\n"
    "  --discount-port N   discount server port (default 0: a free port)\n"
    "  --cashless-port N   cashless server port (default 0: a free port)\n"
    "  --card DIGITS       card number of replies to types 1 and 3 (default 0012345678);\n"
    "                      a type 2 reply carries the request's card\n"
    "  --discount N        discount in tenths of a percent (default 50)\n"
    "  --price N           discounted price of a reply to a type 2 request, hundredths (default 0)\n"
    "  --approval N        approval of every reply (default 1)\n"
    "  --scenario FILE     per-request or per-wallet replies and faults (below)\n"
    "  --quiet             print the ports line and nothing of the frames\n"
    "  --help              this text\n"
    "\n";

long ArgNumber(const char* text, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
    throw std::runtime_error(std::string("bad number '") + text + "'");
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sd::emulator;
  EmulatorOptions options;
  options.out = &std::cout;
  Scenario scenario;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--help" || arg == "-h") {
        std::cout << kUsage << kScenarioHelp;
        return 0;
      }
      if (arg == "--quiet") {
        options.out = nullptr;
        continue;
      }
      if (i + 1 >= argc) throw std::runtime_error("missing value after " + arg);
      const char* value = argv[++i];
      if (arg == "--discount-port") options.discount_port = static_cast<int>(ArgNumber(value, 0, 65535));
      else if (arg == "--cashless-port") options.cashless_port = static_cast<int>(ArgNumber(value, 0, 65535));
      else if (arg == "--card") options.card = sd::exchange::HexDigitsToInt64(value) & 0xFFFFFFFFFFLL;
      else if (arg == "--discount") options.discount = static_cast<std::uint8_t>(ArgNumber(value, 0, 255));
      else if (arg == "--price") options.cancel_price = static_cast<std::int32_t>(ArgNumber(value, INT32_MIN, INT32_MAX));
      else if (arg == "--approval") options.approval = static_cast<std::int32_t>(ArgNumber(value, INT32_MIN, INT32_MAX));
      else if (arg == "--scenario") scenario = LoadScenarioFile(value);
      else throw std::runtime_error("unknown option " + arg);
    }
  } catch (const std::exception& e) {
    std::cerr << "smartdriver-emulator: " << e.what() << "\n" << kUsage;
    return 2;
  }

  TakeOverStopSignals();

  try {
    Emulator emulator(options);
    emulator.SetScenario(scenario);
    std::cout << "discount-port=" << emulator.DiscountPort() << " cashless-port=" << emulator.CashlessPort()
              << std::endl;
    std::cout << "stopping on " << WaitForStopSignal() << std::endl;
    emulator.Stop();
  } catch (const std::exception& e) {
    std::cerr << "smartdriver-emulator: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
