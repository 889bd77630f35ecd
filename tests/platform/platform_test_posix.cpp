// The POSIX side of the platform layer: drive C as a directory of this machine with its defaults, a file
// replaced with its link, mode and owner kept, the date in local time, and the Windows-1251 conversions
// checked against the system's own converter.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "smartdriver/cp1251.h"
#include "support/child_process.h"
#include "support/temp_drive.h"

namespace sd::platform {
namespace {

using namespace sd::literals;

TEST(Paths, DriveCIsTheRootAProgramSetAndNamesBecomeUtf8) {
  const std::string before = SetDriveCRoot("/srv/pos/drive_c/");
  EXPECT_EQ(NativePath("C:\\ZEMO\\Kestmark.INI"), "/srv/pos/drive_c/ZEMO/Kestmark.INI");
  EXPECT_EQ(NativePath("c:\\ZEMO\\LogFiles\\Орвелина.log"_w), "/srv/pos/drive_c/ZEMO/LogFiles/Орвелина.log");
  EXPECT_EQ(NativePath("relative\\name"), "relative/name");
  EXPECT_EQ(SetDriveCRoot(before), "/srv/pos/drive_c/");
}

// The POSIX defaults, seen in copies of this program whose environment names no drive C.
TEST(Paths, DefaultRootWithoutAProgramsChoice) {
  const std::map<std::string, std::string> cases[] = {
      {{"SMARTDRIVER_DRIVE_C", ""}, {"HOME", "/home/cashier"}},
      {{"SMARTDRIVER_DRIVE_C", ""}, {"HOME", ""}},
  };
  std::vector<std::string> roots;
  for (const auto& env : cases) roots.push_back(sd::testing::RunInChild([] { return DriveCRoot(); }, env).report);
  EXPECT_EQ(roots, (std::vector<std::string>{"/home/cashier/.smartdriver/drive_c", "/tmp/smartdriver/drive_c"}));
}

// A replacement of a file that is already there: a read-only one is refused, a link is written through,
// mode and owner stay, and nothing is left aside.
TEST(Files, ReplaceRespectsTheFileItReplaces) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    bool link;         // the path a symbolic link to "real" beside it
    fs::perms mode;
    bool other_owner;  // the file belongs to another user (takes root to arrange)
    int code;
  };
  const Case cases[] = {
      {"plain", false, fs::perms(0640), false, 0},
      {"read-only", false, fs::perms(0444), false, 5},
      {"link", true, fs::perms(0604), false, 0},
      {"read-only behind a link", true, fs::perms(0400), false, 5},
      {"another owner", false, fs::perms(0664), true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.other_owner && ::geteuid() != 0) continue;
    sd::testing::TempDrive dir;
    const fs::path path = dir.root() / "Kestmark.INI";
    const fs::path real = c.link ? dir.root() / "real" : path;
    std::ofstream(real) << "old";
    if (c.link) fs::create_symlink("real", path);
    fs::permissions(real, c.mode);
    if (c.other_owner) {
      ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
    }

    EXPECT_EQ(Files().replace_all(path.string(), "new"), c.code);
    EXPECT_EQ(sd::testing::TempDrive::Read(real), c.code == 0 ? "new" : "old");
    EXPECT_EQ(fs::is_symlink(path), c.link);
    EXPECT_EQ(fs::status(real).permissions(), c.mode);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, c.other_owner ? 65534u : ::geteuid());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.root()), fs::directory_iterator{}), c.link ? 2 : 1);
  }
}

// A disk that fills up in the middle of an append: the limit on file size stands for it, in a copy of
// this program so that the limit and its signal touch nothing else.
TEST(Files, AnAppendThatRunsOutOfRoomLeavesNoPartOfItsBytes) {
  sd::testing::TempDrive dir;
  const std::string path = (dir.root() / "log").string();
  const auto outcome = sd::testing::RunInChild([&] {
    if (Files().append(path, "whole line\r\n", nullptr) != 0) return std::string("no first line");
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit tight = before;
    tight.rlim_cur = 20;  // room for 8 more bytes
    ::setrlimit(RLIMIT_FSIZE, &tight);
    const int code = Files().append(path, "a line too long for the room left\r\n", nullptr);
    ::setrlimit(RLIMIT_FSIZE, &before);
    return std::to_string(code);
  });
  EXPECT_EQ(outcome.report, "112");
  EXPECT_EQ(sd::testing::TempDrive::Read(path), "whole line\r\n");
}

// A FIFO or a device where the settings or the log should be is refused at once, never waited on nor
// read without end; in a copy of this program, so that a wait cannot hold up the others.
TEST(Files, OnlyRegularFilesAreOpened) {
  sd::testing::TempDrive dir;
  const std::string fifo = (dir.root() / "fifo").string();
  const std::string zero = (dir.root() / "zero").string();
  // The copy finds both already made.
  ::mkfifo(fifo.c_str(), 0644);
  std::error_code made;
  std::filesystem::create_symlink("/dev/zero", zero, made);
  ASSERT_TRUE(std::filesystem::is_fifo(fifo));
  const auto outcome = sd::testing::RunInChild(
      [&] {
        std::string report;
        for (const std::string& path : {fifo, zero}) {
          std::string contents;
          std::int64_t size = 0;
          // One after the other: a replacement would put a regular file in the FIFO's place.
          report += std::to_string(Files().read_all(path, &contents)) + " ";
          report += std::to_string(Files().size(path, &size)) + " ";
          report += std::to_string(Files().append(path, "line\r\n", nullptr)) + " ";
          // Never tried on the device: a replacement that followed the link would replace the system's
          // own device file.
          if (path == fifo) report += std::to_string(Files().replace_all(path, "x"));
          report += ";";
        }
        return report;
      },
      {}, std::chrono::seconds(10));
  EXPECT_EQ(outcome.report, "5 5 5 5;5 5 5 ;");
}

TEST(Clock, NowCountsDaysSince1899InLocalTime) {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&t, &local);
  const double expected = (static_cast<double>(t) + static_cast<double>(local.tm_gmtoff)) / 86400.0 + 25569.0;
  EXPECT_NEAR(Clock().now_as_date(), expected, 2.0 / 86400);
  EXPECT_FALSE(Clock().short_date_text().empty());
  EXPECT_FALSE(Clock().long_time_text().empty());
}

TEST(Cp1251, EveryByteAgreesWithTheSystemConverter) {
  iconv_t cd = ::iconv_open("UTF-8", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP1251 converter on this system";
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;  // no character in the code page
    char in[1] = {static_cast<char>(b)};
    char out[8] = {};
    char* pin = in;
    char* pout = out;
    std::size_t left_in = 1, left_out = sizeof out;
    ASSERT_NE(::iconv(cd, &pin, &left_in, &pout, &left_out), static_cast<std::size_t>(-1)) << b;
    const std::string utf8(out, sizeof out - left_out);
    EXPECT_EQ(text::ToUtf8(std::string(1, in[0])), utf8) << "byte " << b;
    EXPECT_EQ(text::FromUtf8(utf8), std::string(1, in[0])) << "byte " << b;
  }
  ::iconv_close(cd);
  EXPECT_EQ(text::FromUtf8("漢"), "?");
}

}  // namespace
}  // namespace sd::platform
