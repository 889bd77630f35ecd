// The platform layer on every platform: file names, the file services, the clock's locale, the
// Windows-1251 literals and a child process held to its time limit. What only holds on one platform is
// in platform_test_posix.cpp and platform_test_win32.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <filesystem>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "smartdriver/cp1251.h"
#include "support/child_process.h"
#include "support/temp_drive.h"

namespace sd::platform {
namespace {

using namespace sd::literals;
namespace fs = std::filesystem;

TEST(Paths, FileNameSafeReplacesOnlyWhatANameCannotCarry) {
  EXPECT_EQ(FileNameSafe("08.12.2026"), "08.12.2026");
  EXPECT_EQ(FileNameSafe("12/08/26"), "12.08.26");
  EXPECT_EQ(FileNameSafe("a\\b"), "a.b");
}

TEST(Files, AppendSizeMoveAndReplaceOnRealFiles) {
  sd::testing::TempDrive dir;
  const std::string a = (dir.root() / "a").string(), b = (dir.root() / "b").string();
  const FileOps& f = Files();
  std::int64_t size = -1;
  EXPECT_FALSE(f.exists(a));
  EXPECT_EQ(f.size(a, &size), 2);
  ASSERT_EQ(f.append(a, "hello", &size), 0);
  EXPECT_EQ(size, 5);
  ASSERT_EQ(f.append(a, " world", &size), 0);
  EXPECT_EQ(size, 11);
  EXPECT_EQ(f.size(a, &size), 0);
  EXPECT_EQ(size, 11);
  ASSERT_EQ(f.replace_all(b, "old"), 0);
  EXPECT_TRUE(f.move_replacing(a, b));
  std::string contents;
  EXPECT_EQ(f.read_all(b, &contents), 0);
  EXPECT_EQ(contents, "hello world");
  EXPECT_FALSE(f.exists(a));
  EXPECT_FALSE(f.move_replacing(a, b));
  EXPECT_EQ(f.read_all(a, &contents), 2);
  EXPECT_EQ(f.append((dir.root() / "missing" / "x").string(), "x", &size), 3);
  EXPECT_EQ(f.replace_all((dir.root() / "missing" / "x").string(), "x"), 3);
  // Where no file can be made beside an existing one (a folder that forbids it; here the name of the file
  // aside would be too long), the file is written in place.
  const std::string longest = (dir.root() / std::string(250, 'k')).string();
  ASSERT_EQ(f.append(longest, "the old settings", &size), 0);
  EXPECT_EQ(f.replace_all(longest, "new"), 0);
  EXPECT_EQ(f.read_all(longest, &contents), 0);
  EXPECT_EQ(contents, "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.root()), fs::directory_iterator{}), 2) << "nothing left aside";
}

TEST(Clock, CLocaleTextsAndSeparator) {
  // The process's own locale is never changed by reading the user's settings.
  const std::string before = std::setlocale(LC_ALL, nullptr);
  Clock().decimal_separator();
  EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), before);
}

TEST(Cp1251, CompileTimeLiteralsAreTheCodePageBytes) {
  EXPECT_EQ("Драйвер загружен"_w, "\xC4\xF0\xE0\xE9\xE2\xE5\xF0 \xE7\xE0\xE3\xF0\xF3\xE6\xE5\xED");
  EXPECT_EQ("№ Ёё"_w, "\xB9 \xA8\xB8");
  EXPECT_EQ("plain"_w, "plain");
}

TEST(Process, AChildThatOutlivesItsLimitIsEnded) {
  const auto started = std::chrono::steady_clock::now();
  const auto out = sd::testing::RunInChild(
      [] {
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return std::string("woke");
      },
      {}, std::chrono::milliseconds(300));
  EXPECT_EQ(out.exit_code, ChildProcess::kNoExitCode);
  EXPECT_EQ(out.report.find("woke"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

}  // namespace
}  // namespace sd::platform
