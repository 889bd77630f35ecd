// The operation log against real files: the line layout, the rotation at 1 MiB, whole lines from many
// threads, and the input/output error when the file cannot be written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "log/operation_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"
#include "support/temp_drive.h"

namespace sd::log {
namespace {

using namespace sd::literals;
namespace fs = std::filesystem;

const char* g_date = "08.12.2026";
const platform::ClockOps kFixedClock{
    [] { return 46364.5; }, [] { return std::string(g_date); }, [] { return std::string("13:56:07"); },
    [] { return ','; }};

class OperationLog : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_.Use();
    drive_.MakeLogDir();
    g_date = "08.12.2026";
    previous_clock_ = platform::SetClock(&kFixedClock);
    BindLogSwitch(nullptr);
  }
  void TearDown() override {
    platform::SetClock(previous_clock_);
    platform::SetFiles(nullptr);
    BindLogSwitch(nullptr);
  }
  fs::path Rotated(const std::string& date) const {
    fs::path rotated = drive_.LogFile();
    return rotated += date;
  }
  void FillLog(std::size_t bytes) const { std::ofstream(drive_.LogFile(), std::ios::binary) << std::string(bytes, 'x'); }

  sd::testing::TempDrive drive_;
  const platform::ClockOps* previous_clock_ = nullptr;
};

TEST_F(OperationLog, LineIsDateBlankTimeSeparatorTextAndCrLf) {
  WriteLog("Драйвер загружен"_w);
  WriteLog("");
  WriteOperationStart();
  EXPECT_EQ(drive_.Log(), "08.12.2026 13:56:07 - " + std::string("Драйвер загружен"_w) +
                              "\r\n08.12.2026 13:56:07 - \r\n08.12.2026 13:56:07 -  \r\n\r\n");
}

TEST_F(OperationLog, ControlCharactersOfATextAreEscapedAndNothingElseChanges) {
  const std::pair<std::string, std::string> cases[] = {
      {" \r\n", " \\r\\n"},
      {"a\r\n08.12.2026 13:56:07 - forged", "a\\r\\n08.12.2026 13:56:07 - forged"},
      {std::string("\t\x01\x1F\x7F", 4) + std::string(1, '\0') + "z", "\\t\\x01\\x1F\\x7F\\x00z"},
      {"\\r stays, " + std::string("Кириллица"_w) + "\xFF\x80", "\\r stays, " + std::string("Кириллица"_w) + "\xFF\x80"},
  };
  for (const auto& [text, logged] : cases) {
    fs::remove(drive_.LogFile());
    WriteLog(text);
    EXPECT_EQ(drive_.Log(), "08.12.2026 13:56:07 - " + logged + "\r\n");
  }
}

TEST_F(OperationLog, SwitchedOffTouchesNothingEvenWithoutADirectory) {
  const bool off = false;
  BindLogSwitch(&off);
  fs::remove_all(drive_.LogDir());
  EXPECT_NO_THROW(WriteLog("x"));
  EXPECT_FALSE(fs::exists(drive_.LogDir()));
}

TEST_F(OperationLog, RotatesOnlyPastTheLimitAndTheNextWriteStartsAFreshFile) {
  const std::string line = "08.12.2026 13:56:07 - a\r\n";
  FillLog(kRotateAbove - line.size());
  WriteLog("a");
  ASSERT_EQ(fs::file_size(drive_.LogFile()), static_cast<std::uintmax_t>(kRotateAbove)) << "exactly the limit stays";
  EXPECT_FALSE(fs::exists(Rotated(g_date)));

  WriteLog("b");
  EXPECT_FALSE(fs::exists(drive_.LogFile()));
  ASSERT_TRUE(fs::exists(Rotated(g_date)));
  EXPECT_EQ(fs::file_size(Rotated(g_date)), static_cast<std::uintmax_t>(kRotateAbove) + line.size());

  WriteLog("c");
  EXPECT_EQ(drive_.Log(), "08.12.2026 13:56:07 - c\r\n");
}

TEST_F(OperationLog, LaterRotationsOnTheSameDateTakeTheNextFreeName) {
  const char* const names[] = {"", ".1", ".2"};
  for (const char* name : names) {
    FillLog(kRotateAbove);
    WriteLog(name);
  }
  for (const char* name : names) {
    const std::string rotated = sd::testing::TempDrive::Read(Rotated(std::string(g_date) + name));
    EXPECT_EQ(rotated.size(), static_cast<std::size_t>(kRotateAbove) + 24 + std::strlen(name)) << name;
  }
  EXPECT_FALSE(fs::exists(drive_.LogFile()));
}

TEST_F(OperationLog, DateWithSlashesStillRotatesUnderADottedName) {
  g_date = "12/08/26";
  FillLog(kRotateAbove);
  WriteLog("x");
  EXPECT_FALSE(fs::exists(drive_.LogFile()));
  EXPECT_TRUE(fs::exists(Rotated("12.08.26")));
}

TEST_F(OperationLog, ThreadsWritingAtOnceGiveWholeLines) {
  constexpr int kThreads = 4, kLines = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) WriteLog("thread " + std::to_string(t) + " line " + std::to_string(i));
    });
  for (auto& th : threads) th.join();
  const auto texts = drive_.LogTexts();
  ASSERT_EQ(texts.size(), static_cast<std::size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const auto& text : texts) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(text.c_str(), "thread %d line %d", &t, &i), 2) << text;
    EXPECT_EQ(i, next[t]++) << "lines of one thread stay in order";
  }
}

TEST_F(OperationLog, UnwritableFileRaisesWithItsCodeAndLeavesTheLockFree) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    int code;
  } cases[] = {
      {"no directory", [&] { fs::remove_all(drive_.LogDir()); }, 3},
      {"the log is a directory", [&] { fs::create_directories(drive_.LogFile()); }, 5},
  };
  for (auto& c : cases) {
    c.arrange();
    try {
      WriteLog("lost");
      ADD_FAILURE() << c.what;
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), c.code) << c.what;
      EXPECT_EQ(std::string(e.what()), "I/O error " + std::to_string(c.code));
    }
    fs::remove_all(drive_.LogDir());
    drive_.MakeLogDir();
    WriteLog("after");  // would block for ever if the lock had been left held
    EXPECT_EQ(drive_.LogTexts(), std::vector<std::string>{"after"}) << c.what;
    fs::remove(drive_.LogFile());
  }
}

TEST_F(OperationLog, FailedWriteOfADiskFullIsReportedAndNotRotated) {
  static platform::FileOps full = platform::SystemFiles();
  full.append = [](const std::string&, std::string_view, std::int64_t*) { return 112; };
  platform::SetFiles(&full);
  EXPECT_THROW(
      {
        try {
          WriteLog("x");
        } catch (const EInOutError& e) {
          EXPECT_EQ(std::string(e.what()), "I/O error 112");
          throw;
        }
      },
      EInOutError);
}

TEST_F(OperationLog, LogFileSizeIsZeroForNoFile) {
  EXPECT_EQ(LogFileSize(LogPath()), 0);
  WriteLog("abc");
  EXPECT_EQ(LogFileSize(LogPath()), 27);
}

}  // namespace
}  // namespace sd::log
