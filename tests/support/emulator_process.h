// smartdriver-emulator started as a program, as the README's main command starts it: on free loopback
// ports, with a scenario, its ports read from its first output line; asked to stop at the end.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/child_process.h"

namespace sd::testing {

class EmulatorProcess {
 public:
  // scenario: the text of a scenario file written into work_dir (empty: none); extra: more options.
  EmulatorProcess(const std::filesystem::path& work_dir, const std::string& scenario,
                  std::vector<std::string> extra = {}) {
    std::vector<std::string> args;
    if (!scenario.empty()) {
      const auto file = work_dir / "scenario.txt";
      std::ofstream(file) << scenario;
      args = {"--scenario", file.string()};
    }
    args.insert(args.end(), extra.begin(), extra.end());
    if (!child_.Start({BuiltProgram("smartdriver-emulator"), args, {}, ""}, nullptr)) return;
    if (!WaitForOutput("\n", std::chrono::seconds(10)) ||
        std::sscanf(child_.Output().c_str(), "discount-port=%d cashless-port=%d", &discount_port_,
                    &cashless_port_) != 2)
      discount_port_ = cashless_port_ = 0;
  }

  bool Ready() const { return discount_port_ > 0 && cashless_port_ > 0; }
  int DiscountPort() const { return discount_port_; }
  int CashlessPort() const { return cashless_port_; }

  // Reads the emulator's output until it holds `text`; false when it did not come within `limit`.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (child_.Output().find(text) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !child_.ReadMore(left)) return false;
    }
    return true;
  }
  const std::string& Output() const { return child_.Output(); }

  // Asks the emulator to stop and waits for it; its exit code.
  int Stop() {
    child_.Stop();
    return child_.Wait(std::chrono::seconds(10));
  }

  // The settings file text that points the driver at this emulator.
  std::string SettingsText(int wait_ms) const {
    return "[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(discount_port_) + "\r\nPortbn=" +
           std::to_string(cashless_port_) + "\r\nbWaitTimeOut=" + std::to_string(wait_ms) +
           "\r\nbEnableLog=1\r\n";
  }

 private:
  platform::ChildProcess child_;
  int discount_port_ = 0;
  int cashless_port_ = 0;
};

}  // namespace sd::testing
