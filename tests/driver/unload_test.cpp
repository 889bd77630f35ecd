// Unloading the library while an exchange thread still runs: the unload waits for it (POSIX) or the
// thread keeps the module until it ends (Windows), and afterwards no thread of the library is left.
#include <gtest/gtest.h>

#include <chrono>
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

TEST(Unload, RightAfterATimeOutLeavesNoThreadAndDoesNotCrash) {
  emulator::Emulator server;
  emulator::Scenario silent;
  silent.defaults.fault = emulator::Fault::Silent;
  server.SetScenario(silent);

  sd::testing::TempDrive drive;
  drive.MakeLogDir();
  drive.WriteSettings("[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server.DiscountPort()) +
                      "\r\nbWaitTimeOut=600\r\n");
  auto out = sd::testing::RunInChild([&] {
    // The copy of the test program runs its own emulator: count only the threads the library adds.
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
    // Really gone, at once on POSIX, where unload joins the thread; on Windows the thread keeps the module
    // until it ends, within the wait and the thread's grace. Nothing pins it after that.
    const auto limit = std::chrono::steady_clock::now() + 600ms + 2s;
    while ((sd::testing::ThreadCount() != threads_before || platform::IsLibraryLoaded(SD_TEST_LIBRARY)) &&
           std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(10ms);
    report += " | threads left: " + std::to_string(sd::testing::ThreadCount() - threads_before);
    report += platform::IsLibraryLoaded(SD_TEST_LIBRARY) ? " | still loaded" : " | unloaded";
    return report;
  });
  EXPECT_EQ(out.exit_code, 0) << out.report;
  EXPECT_EQ(out.report, "Не удалось получить скидку: TimeOut | threads left: 0 | unloaded");
}

}  // namespace
}  // namespace sd
