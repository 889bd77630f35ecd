// smartdriver-emulator started as a program, as the README's main command starts it: on free loopback
// ports, with a scenario, its ports read from its first output line; stopped with SIGTERM at the end.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "host/process.h"

namespace sd::testing {

class EmulatorProcess {
 public:
  // scenario: the text of a scenario file (empty: none); extra: more options.
  EmulatorProcess(const std::filesystem::path& work_dir, const std::string& scenario,
                  std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {std::string(SD_TEST_BIN_DIR) + "/smartdriver-emulator"};
    if (!scenario.empty()) {
      const auto file = work_dir / "scenario.txt";
      std::ofstream(file) << scenario;
      argv.push_back("--scenario");
      argv.push_back(file.string());
    }
    argv.insert(argv.end(), extra.begin(), extra.end());
    child_ = std::make_unique<ChildProcess>(argv);
    const std::string first = child_->WaitForFirstLine(std::chrono::seconds(10));
    if (std::sscanf(first.c_str(), "discount-port=%d cashless-port=%d", &discount_port_, &cashless_port_) != 2)
      discount_port_ = cashless_port_ = 0;
  }

  bool Ready() const { return discount_port_ > 0 && cashless_port_ > 0; }
  int DiscountPort() const { return discount_port_; }
  int CashlessPort() const { return cashless_port_; }

  // Stops the emulator and returns everything it printed.
  std::string Stop() {
    child_->Signal(SIGTERM);
    child_->Wait(std::chrono::seconds(10));
    return child_->Out();
  }

  // The settings file text that points the driver at this emulator.
  std::string SettingsText(int wait_ms) const {
    return "[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(discount_port_) + "\r\nPortbn=" +
           std::to_string(cashless_port_) + "\r\nbWaitTimeOut=" + std::to_string(wait_ms) +
           "\r\nbEnableLog=1\r\n";
  }

 private:
  std::unique_ptr<ChildProcess> child_;
  int discount_port_ = 0;
  int cashless_port_ = 0;
};

}  // namespace sd::testing
