// What the card-operation tests share: a temporary drive C with a log directory, the emulator on
// loopback, the settings pointed at it, a fixed decimal comma, and a driver object whose entries are
// called through its table as a host calls them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "driver/entry_table.h"
#include "exchange/exchange_module.h"
#include "log/operation_log.h"
#include "platform/clock.h"
#include "settings/link_settings.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/host_text.h"
#include "support/temp_drive.h"
#include "tools/emulator/emulator.h"

namespace sd::testing {

inline const platform::ClockOps kCommaClock{
    [] { return platform::SystemClock().now_as_date(); }, [] { return std::string("08.12.2026"); },
    [] { return std::string("13:56:07"); }, [] { return ','; }};

class OperationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_.Use();
    drive_.MakeLogDir();
    previous_clock_ = platform::SetClock(&kCommaClock);
    exchange::StartExchangeModule();
    settings::LinkSettings = settings::LinkSettingsBlock{};
    settings::LinkSettings.IP = "127.0.0.1";
    settings::LinkSettings.Port = emulator_.DiscountPort();
    settings::LinkSettings.Portbn = emulator_.CashlessPort();
    settings::LinkSettings.bWaitTimeOut = 3000;
    log::BindLogSwitch(&settings::LinkSettings.bEnableLog);
    driver_ = driver::NewDriver();
  }
  void TearDown() override {
    DestroyOf(driver_)(driver_);
    // Every exchange thread ends on its own within its operation's wait.
    EXPECT_TRUE(exchange::WaitForExchangeThreads(std::chrono::seconds(5)));
    log::BindLogSwitch(nullptr);
    platform::SetClock(previous_clock_);
  }

  std::string Utf8(std::string_view cp1251) const { return text::ToUtf8(cp1251); }
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> out;
    for (const auto& t : drive_.LogTexts()) out.push_back(Utf8(t));
    return out;
  }

  // The entries, called through the object's table. Each returns the raised message (UTF-8), or "".
  std::string Discount(DiscountResult& r, char op, std::uint8_t wallet, double qty, double sum,
                       std::string_view card = "") {
    HostText text(card);
    return Call([&] {
      EntryOf<entry::DiscountOperation>(driver_, kDiscountOperation)(&r, driver_, static_cast<std::uint8_t>(op),
                                                                     wallet, qty, sum, nullptr, text.arg(), nullptr);
    });
  }
  std::string Sale(CashlessResult& r, std::uint8_t wallet, double qty, double sum) {
    return Call([&] { EntryOf<entry::CashlessSale>(driver_, kCashlessSale)(&r, driver_, 0, wallet, qty, sum); });
  }
  std::string Return(CashlessResult& r, std::string_view card, std::uint8_t wallet, double qty, double sum) {
    HostText text(card);
    std::uint8_t ignored[3] = {1, 2, 3};
    return Call([&] {
      EntryOf<entry::CashlessReturn>(driver_, kCashlessReturn)(&r, driver_, 0, nullptr, text.arg(), ignored, 2,
                                                               wallet, qty, sum, 0);
    });
  }
  std::string CardQuery(CardInfo& r, std::uint8_t wallet) {
    return Call([&] { EntryOf<entry::GetCardInfo>(driver_, kGetCardInfo)(&r, driver_, wallet); });
  }

  template <typename F>
  std::string Call(F&& f) {
    try {
      f();
    } catch (const std::exception& e) {
      return Utf8(e.what());
    }
    return "";
  }

  TempDrive drive_;
  emulator::Emulator emulator_;
  TSmartDriver* driver_ = nullptr;
  const platform::ClockOps* previous_clock_ = nullptr;
};

}  // namespace sd::testing
