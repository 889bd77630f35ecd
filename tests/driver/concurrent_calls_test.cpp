// Two host threads that call the server entries at once, against the rule of one call at a time: the
// calls take turns, and each record carries the card of its own wallet, never another call's.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "exchange/codec.h"
#include "settings/config_form.h"
#include "tests/driver/operation_fixture.h"

namespace sd {
namespace {

constexpr int kCallsPerThread = 500;
constexpr int kWalletsPerThread = 5;

// Each wallet has a card of its own: wallet 7 has the card whose text is 9000000007.
std::string CardOf(int wallet) {
  char text[11];
  std::snprintf(text, sizeof text, "900000%04d", wallet);
  return text;
}

class ConcurrentCalls : public testing::OperationTest {
 protected:
  // The call's message, or what is wrong with the card its record carries; "" when all is right.
  std::string Call(int kind, std::uint8_t wallet) {
    std::string message, card;
    switch (kind) {
      case 0: {
        CardInfo r{};
        message = CardQuery(r, wallet);
        card = std::string(r.CardHead.view()) + std::string(r.CardTail.view());
        break;
      }
      case 1: {
        DiscountResult r{};
        message = Discount(r, 'M', wallet, 1, 10);
        card = std::string(r.NumberCard.view());
        break;
      }
      case 2: {
        CashlessResult r{};
        message = Sale(r, wallet, 1, 10);
        card = std::string(r.NumberCard.view());
        break;
      }
      default: {
        CashlessResult r{};
        message = Return(r, "12345", wallet, 1, 10);
        card = std::string(r.NumberCard.view());
        break;
      }
    }
    if (!message.empty()) return message;
    return card == CardOf(wallet) ? "" : "wallet " + std::to_string(wallet) + " got card " + card;
  }
};

TEST_F(ConcurrentCalls, EachRecordCarriesItsOwnWalletsCard) {
  emulator::Scenario scenario;
  for (int wallet = 1; wallet <= 2 * kWalletsPerThread; ++wallet)
    scenario.wallets[wallet].card = exchange::HexDigitsToInt64(CardOf(wallet));
  emulator_.SetScenario(scenario);

  std::string wrong[2];
  int wrong_count[2] = {0, 0};
  auto host_thread = [&](int t) {
    for (int i = 0; i < kCallsPerThread; ++i) {
      const auto wallet = static_cast<std::uint8_t>(1 + t * kWalletsPerThread + i % kWalletsPerThread);
      const std::string problem = Call((i + t) % 4, wallet);
      if (!problem.empty() && wrong_count[t]++ == 0) wrong[t] = "call " + std::to_string(i) + ": " + problem;
    }
  };
  std::thread other(host_thread, 1);
  host_thread(0);
  other.join();
  for (int t = 0; t < 2; ++t) EXPECT_EQ(wrong_count[t], 0) << "thread " << t << ", first: " << wrong[t];
  EXPECT_EQ(emulator_.Exchanges().size(), 2u * kCallsPerThread);
}

// The operator opens the settings dialog and presses Apply without a change, again and again.
class ApplyAsShown : public settings::ConfigFormView {
 public:
  bool CanShowModal() override { return true; }
  settings::ModalResult ShowModal(settings::TConfigKestForm& form) override { return form.BitBtn1.Result; }
  void ShowMessage(std::string_view, std::string_view) override {}
};

// The dialog loads and replaces the settings on the host's thread while an operation on another thread
// takes them: each operation works on one whole snapshot (ThreadSanitizer checks that nothing races).
TEST_F(ConcurrentCalls, TheSettingsDialogNeverRacesAnExchange) {
  emulator::Scenario scenario;
  for (int wallet = 1; wallet <= kWalletsPerThread; ++wallet)
    scenario.wallets[wallet].card = exchange::HexDigitsToInt64(CardOf(wallet));
  emulator_.SetScenario(scenario);
  drive_.WriteSettings("[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(emulator_.DiscountPort()) +
                       "\r\nPortbn=" + std::to_string(emulator_.CashlessPort()) + "\r\nbWaitTimeOut=3000\r\n");
  ApplyAsShown view;
  settings::TConfigKestForm form(view);
  std::atomic<bool> done{false};
  std::thread dialog([&] {
    while (!done) form.SettingsMenuClick();
  });
  std::string first_problem;
  for (int i = 0; i < 40 && first_problem.empty(); ++i) first_problem = Call(i % 4, 1 + i % kWalletsPerThread);
  done = true;
  dialog.join();
  EXPECT_EQ(first_problem, "");
}

}  // namespace
}  // namespace sd
