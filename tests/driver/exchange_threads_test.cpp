// The exchange threads as the operations start them through the platform: at most a few alive however
// fast the host calls, a thread that cannot start, and the platform's own contract of start,
// has-finished, join and the join that does not wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "exchange/exchange_module.h"
#include "platform/thread.h"
#include "support/emulator_process.h"
#include "support/process_stats.h"
#include "tests/driver/operation_fixture.h"

namespace sd {
namespace {

using namespace std::chrono_literals;

TEST(PlatformThreads, FinishedOnlyOnceTheBodyHasReturned) {
  struct Body {
    std::shared_future<void> go;
    std::atomic<bool> ran{false};
  };
  std::promise<void> go;
  Body body{go.get_future().share()};
  const platform::ThreadOps& threads = platform::Threads();
  platform::ThreadHandle handle = threads.start(
      [](void* argument) {
        auto* b = static_cast<Body*>(argument);
        b->go.wait();
        b->ran = true;
      },
      &body);
  ASSERT_NE(handle, nullptr);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(threads.has_finished(handle));
  EXPECT_FALSE(threads.try_join(handle));
  go.set_value();
  for (int i = 0; i < 2000 && !threads.has_finished(handle); ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(threads.has_finished(handle));
  EXPECT_TRUE(body.ran);
  // Joined without a wait once the thread has ended altogether, a moment after its body.
  bool joined = false;
  for (int i = 0; i < 2000 && !(joined = threads.try_join(handle)); ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(joined);
  if (!joined) threads.join(handle);
}

#ifdef __linux__
int MappingCount() {
  std::ifstream maps("/proc/self/maps");
  int count = 0;
  for (std::string line; std::getline(maps, line);) ++count;
  return count;
}

// Threads run on stacks that are kept from one thread to the next: a detached thread keeps its stack
// until it has left the system, whatever starts meanwhile, and neither kind leaves a stack behind.
TEST(PlatformThreads, StacksServeTheNextThreadsOnlyOnceTheirOwnHaveEnded) {
  struct Body {
    char mark;
    std::atomic<bool> intact{false};
    std::atomic<bool> done{false};
  };
  static constexpr auto kRun = [](void* argument) {
    auto* b = static_cast<Body*>(argument);
    volatile char frame[8192];
    for (volatile char& c : frame) c = b->mark;
    std::this_thread::sleep_for(2ms);
    bool intact = true;
    for (const volatile char& c : frame) intact = intact && c == b->mark;
    b->intact = intact;
    b->done = true;
  };
  const platform::ThreadOps& threads = platform::Threads();
  const auto round = [&](int n) {
    std::vector<Body> bodies(4);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
      bodies[i].mark = static_cast<char>('a' + n % 20 + i);
      platform::ThreadHandle h = threads.start(kRun, &bodies[i]);
      ASSERT_NE(h, nullptr);
      if (i % 2 == 0) {
        threads.detach(h);
      } else {
        threads.join(h);
      }
    }
    for (int i = 0; i < 2000 && !(bodies[0].done && bodies[2].done); ++i) std::this_thread::sleep_for(1ms);
    for (const Body& b : bodies) EXPECT_TRUE(b.done && b.intact) << "round " << n;
    // The detached threads' last steps, after their bodies.
    std::this_thread::sleep_for(5ms);
  };
  round(0);
  const int before = MappingCount();
  for (int n = 1; n < 60; ++n) round(n);
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
  // The sanitizers map memory of their own for every thread.
  EXPECT_LE(MappingCount(), before + 8);
#endif
}
#endif

class ExchangeThreads : public testing::OperationTest {
 protected:
  // A discount request with no texts.
  std::string Request(DiscountResult& r) {
    return Call([&] {
      EntryOf<entry::DiscountOperation>(driver_, kDiscountOperation)(&r, driver_, 'M', 1, 1, 10, nullptr, nullptr,
                                                                     nullptr);
    });
  }
};

TEST_F(ExchangeThreads, AThreadThatCannotStartEndsInTheFailureMessageWithNothingSent) {
  static const platform::ThreadOps kNoThread{
      [](void (*)(void*), void*) -> platform::ThreadHandle { return nullptr; },
      platform::SystemThreads().has_finished, platform::SystemThreads().join, platform::SystemThreads().try_join,
      platform::SystemThreads().detach};
  platform::SetThreads(&kNoThread);
  DiscountResult discount{};
  CashlessResult sale{};
  EXPECT_EQ(Request(discount), "Не удалось получить скидку!");
  EXPECT_EQ(LogTexts().back(), "Операция не проведена: Не удалось получить скидку!");
  EXPECT_EQ(Sale(sale, 1, 1, 10), "Неудачный обмен с терминалом!");
  EXPECT_EQ(LogTexts().back(), "Операция не проведена: Неудачный обмен с терминалом!");
  platform::SetThreads(nullptr);
  EXPECT_TRUE(emulator_.Exchanges().empty());
  EXPECT_EQ(Request(discount), "");
}

TEST_F(ExchangeThreads, AFloodAgainstASilentServerKeepsAtMostTheLimitAlive) {
  testing::EmulatorProcess silent(drive_.root(), "default fault=silent\n");
  ASSERT_TRUE(silent.Ready());
  settings::LinkSettings.Port = silent.DiscountPort();
  settings::LinkSettings.bWaitTimeOut = 0;
  const int threads_before = testing::ThreadCount();
  const int handles_before = testing::HandleCount();
  ASSERT_GT(threads_before, 0);
  int most = 0, timed_out = 0;
  // Under Wine a snapshot of the threads takes tens of milliseconds; the lingering threads outlast ten
  // requests, so every tenth request still sees them.
  const int every = testing::UnderWine() ? 10 : 1;
  for (int i = 0; i < 3000; ++i) {
    DiscountResult r{};
    timed_out += Request(r) == "Не удалось получить скидку: TimeOut";
    if (i % every == 0) most = std::max(most, testing::ThreadCount() - threads_before);
  }
  EXPECT_EQ(timed_out, 3000);
  EXPECT_LE(most, exchange::kMaxExchangeThreads);
  EXPECT_GT(most, 0);
  // Each lingering thread ends within its limits, a little past the wait.
  EXPECT_TRUE(exchange::WaitForExchangeThreads(2s));
  EXPECT_EQ(testing::ThreadCount(), threads_before);
  EXPECT_EQ(testing::HandleCount(), handles_before);
}

TEST_F(ExchangeThreads, TheLimitCostsNothingWhenTheServerAnswersWithinTheWait) {
  emulator::Scenario late;
  late.defaults.delay_ms = 150;
  emulator_.SetScenario(late);
  // Well past the delay: a loaded machine (or Wine) may take tens of milliseconds to hand the reply on.
  settings::LinkSettings.bWaitTimeOut = 600;
  for (int i = 0; i < 20; ++i) {
    DiscountResult r{};
    ASSERT_EQ(Request(r), "") << i;
  }
}

}  // namespace
}  // namespace sd
