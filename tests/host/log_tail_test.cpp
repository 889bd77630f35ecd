// What --log shows: exactly the bytes appended since the start, in UTF-8 with plain line feeds, and the
// whole new file after the driver moved a full log aside. Each tail reads the driver's own log under the
// test's drive C, whatever the system's encoding of file names.
#include "tools/host/log_tail.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "smartdriver/cp1251.h"
#include "support/temp_drive.h"

namespace sd::host {
namespace {

using namespace sd::literals;
using sd::testing::TempDrive;

void Append(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream(file, std::ios::binary | std::ios::app) << bytes;
}

TEST(LogTail, ShowsOnlyWhatWasAppendedInUtf8) {
  TempDrive drive;
  drive.MakeLogDir();
  Append(drive.LogFile(), "old line\r\n");
  const LogTail tail;
  EXPECT_EQ(tail.Appended(), "");
  Append(drive.LogFile(), std::string("08.12.26 10:00:00 - "_w) + std::string("Драйвер загружен\r\n"_w));
  Append(drive.LogFile(), std::string("08.12.26 10:00:01 -  \r\n\r\n"));
  EXPECT_EQ(tail.Appended(), "08.12.26 10:00:00 - Драйвер загружен\n08.12.26 10:00:01 -  \n\n");
}

TEST(LogTail, AFileThatAppearsOrShrinksIsShownWhole) {
  TempDrive drive;
  drive.MakeLogDir();
  const LogTail from_nothing;
  EXPECT_EQ(from_nothing.Appended(), "") << "no file yet, nothing to show";
  Append(drive.LogFile(), "a long first log that will be moved aside\r\n");
  EXPECT_EQ(from_nothing.Appended(), "a long first log that will be moved aside\n");

  const LogTail before_rotation;
  std::filesystem::rename(drive.LogFile(), drive.LogDir() / "rotated.log");
  Append(drive.LogFile(), "new\r\n");
  EXPECT_EQ(before_rotation.Appended(), "new\n");
}

}  // namespace
}  // namespace sd::host
