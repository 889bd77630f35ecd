// Unloading the library while an exchange thread still runs: the unload waits for it, and afterwards no
// thread of the library is left.
#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>

#include <chrono>
#include <filesystem>

#include "smartdriver/cp1251.h"
#include "smartdriver/host_text.h"
#include "support/child_process.h"
#include "support/driver_library.h"
#include "support/temp_drive.h"
#include "tools/emulator/emulator.h"

namespace sd {
namespace {

int ThreadCount() {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++n;
  }
  return n;
}

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
    drive.Use();
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
    report += " | threads after unload: " + std::to_string(ThreadCount());
    // Really gone: nothing pins the library in memory once the host lets go of it.
    report += ::dlopen(SD_TEST_LIBRARY, RTLD_NOW | RTLD_NOLOAD) == nullptr ? " | unloaded" : " | still loaded";
    return report;
  });
  EXPECT_EQ(out.exit_code, 0) << out.report;
  EXPECT_EQ(out.report, "Не удалось получить скидку: TimeOut | threads after unload: 1 | unloaded");
}

}  // namespace
}  // namespace sd
