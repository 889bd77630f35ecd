// The Windows side of the platform layer: a pipe or a device where the settings or the log should be is
// refused at once as access denied, where a read or a write of it could hold the driver for ever.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/child_process.h"

namespace sd::platform {
namespace {

// In a copy of this program, so that a wait cannot hold up the others. The pipe has listening ends and
// nothing is ever written to it: a read that reached it would wait for ever.
TEST(Files, APipeOrADeviceInPlaceOfAFileIsRefusedAtOnce) {
  const auto outcome = sd::testing::RunInChild(
      [] {
        const std::string pipe = "\\\\.\\pipe\\smartdriver-files-" + std::to_string(::GetCurrentProcessId());
        std::vector<HANDLE> ends;
        std::string report;
        for (const std::string& path : {pipe, std::string("\\\\.\\NUL")}) {
          std::string contents;
          std::int64_t size = 0;
          const auto call = [&](auto&& files_call) {
            // Two free ends for each call: asking for a pipe's attributes may take one of them.
            for (int i = 0; i < 2; ++i)
              ends.push_back(::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                                PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
            report += std::to_string(files_call()) + " ";
          };
          call([&] { return Files().read_all(path, &contents); });
          call([&] { return Files().size(path, &size); });
          call([&] { return Files().append(path, "line\r\n", &size); });
          report += ";";
        }
        for (HANDLE end : ends) ::CloseHandle(end);
        return report;
      },
      {}, std::chrono::seconds(10));
  EXPECT_EQ(outcome.report, "5 5 5 ;5 5 5 ;");
}

}  // namespace
}  // namespace sd::platform
