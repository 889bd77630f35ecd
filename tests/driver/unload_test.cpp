// Unloading the library while an exchange thread still runs: the unload waits for it (POSIX) or the
// thread keeps the module until it ends (Windows), and afterwards no thread of the library is left.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/library.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/host_text.h"
#include "support/child_process.h"
#include "support/driver_library.h"
#include "support/process_stats.h"
#include "support/temp_drive.h"
#include "tools/emulator/emulator.h"

namespace sd {
namespace {

using namespace std::chrono_literals;

// A discount that times out against a silent server, then the library unloaded at once. In a copy of
// the test program, whose report is the operation's message followed by what `after_unload` adds, given
// the threads the program had before the load (the copy runs its own emulator); the program then ends
// through exit(), its library's exchange thread perhaps still running.
sd::testing::ChildOutcome TimedOutThenUnloaded(const std::function<std::string(int)>& after_unload) {
  emulator::Emulator server;
  emulator::Scenario silent;
  silent.defaults.fault = emulator::Fault::Silent;
  server.SetScenario(silent);

  sd::testing::TempDrive drive;
  drive.MakeLogDir();
  drive.WriteSettings("[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server.DiscountPort()) +
                      "\r\nbWaitTimeOut=600\r\n");
  return sd::testing::RunInChild([&] {
    const int threads_before = sd::testing::ThreadCount();
    std::string report;
    {
      sd::testing::DriverLibrary lib;
      TSmartDriver* d = lib.GetDriver();
      DiscountResult r{};
      report = text::ToUtf8(sd::testing::Raised([&] {
        EntryOf<entry::DiscountOperation>(d, kDiscountOperation)(&r, d, 'M', 1, 1, 10, nullptr, nullptr, nullptr);
      }));
      DestroyOf(d)(d);
    }
    return report + after_unload(threads_before);
  });
}

TEST(Unload, RightAfterATimeOutLeavesNoThreadAndDoesNotCrash) {
  const auto out = TimedOutThenUnloaded([](int threads_before) {
    // Really gone, at once on POSIX, where unload joins the thread; on Windows the thread keeps the module
    // until it ends, within the wait and the thread's grace. Nothing pins it after that.
    const auto limit = std::chrono::steady_clock::now() + 600ms + 2s;
    while ((sd::testing::ThreadCount() != threads_before || platform::IsLibraryLoaded(SD_TEST_LIBRARY)) &&
           std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(10ms);
    return " | threads left: " + std::to_string(sd::testing::ThreadCount() - threads_before) +
           (platform::IsLibraryLoaded(SD_TEST_LIBRARY) ? " | still loaded" : " | unloaded");
  });
  EXPECT_EQ(out.exit_code, 0) << out.report;
  EXPECT_EQ(out.report, "Не удалось получить скидку: TimeOut | threads left: 0 | unloaded");
}

// A till that closes right after a time-out: the process ends at once, whatever the exchange thread is
// doing (Windows ends it, and the runtime's destructors must not wait for it).
TEST(Unload, ExitRightAfterATimeOutEndsTheProcess) {
  const auto start = std::chrono::steady_clock::now();
  const auto out = TimedOutThenUnloaded([](int) { return std::string(); });
  EXPECT_EQ(out.exit_code, 0) << out.report;
  EXPECT_EQ(out.report, "Не удалось получить скидку: TimeOut");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << "the process hung at its exit";
}

}  // namespace
}  // namespace sd
