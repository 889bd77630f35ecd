// The POSIX platform layer: the drive C mapping, the file services, the clock, and the Windows-1251
// conversions checked against the system's own converter.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>
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
namespace fs = std::filesystem;

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
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.root()), fs::directory_iterator{}), 1) << "nothing left aside";
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
