// LinkSettings loaded from and saved to the INI file under a drive C of its own.
#include "settings/link_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "settings/ini_file.h"
#include "support/temp_drive.h"

namespace sd::settings {
namespace {

namespace fs = std::filesystem;

class LinkSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { LinkSettings = LinkSettingsBlock{}; }
  void TearDown() override { LinkSettings = LinkSettingsBlock{}; }

  sd::testing::TempDrive drive_;
};

void ExpectDefaults() {
  EXPECT_EQ(LinkSettings.IP, "localhost");
  EXPECT_EQ(LinkSettings.Port, 6010);
  EXPECT_EQ(LinkSettings.Portbn, 6010);
  EXPECT_EQ(LinkSettings.bWaitTimeOut, 10000);
  EXPECT_TRUE(LinkSettings.bEnableLog);
}

TEST_F(LinkSettingsTest, MissingFileSectionOrKeysKeepTheDefaults) {
  LoadLinkSettings();  // no C:\ZEMO at all
  ExpectDefaults();
  EXPECT_FALSE(fs::exists(drive_.SettingsFile())) << "loading must create nothing";

  drive_.WriteSettings("[Other]\r\nIP=10.1.1.1\r\nPort=1\r\n");
  LoadLinkSettings();
  ExpectDefaults();

  drive_.WriteSettings("[RemoteDiscount]\r\n; nothing here\r\n");
  LoadLinkSettings();
  ExpectDefaults();
}

TEST_F(LinkSettingsTest, OnlyIpPresent) {
  drive_.WriteSettings("[RemoteDiscount]\r\nIP=192.168.0.7\r\n");
  LoadLinkSettings();
  EXPECT_EQ(LinkSettings.IP, "192.168.0.7");
  EXPECT_EQ(LinkSettings.Port, 6010);
  EXPECT_EQ(LinkSettings.Portbn, 6010);
  EXPECT_EQ(LinkSettings.bWaitTimeOut, 10000);
  EXPECT_TRUE(LinkSettings.bEnableLog);
}

TEST_F(LinkSettingsTest, IntegerAndBooleanEncodings) {
  struct Case {
    const char* lines;
    std::int32_t port;
    bool log;
  };
  // The values in memory before each load: port 1234, logging off, so "kept" is visible.
  const Case cases[] = {
      {"Port=abc\r\nbEnableLog=yes", 1234, false},
      {"Port=-1\r\nbEnableLog=5", -1, true},
      {"Port=$1A\r\nbEnableLog=-3", 26, true},
      {"Port=0x1A\r\nbEnableLog=0", 26, false},
      {"Port=\r\nbEnableLog=", 1234, false},
      {"Port=99999999999\r\nbEnableLog=1", 1234, true},
      {"port = 6020 \r\nBENABLELOG = 0x10", 6020, true},
  };
  for (const Case& c : cases) {
    drive_.WriteSettings(std::string("[RemoteDiscount]\r\n") + c.lines + "\r\n");
    LinkSettings.Port = 1234;
    LinkSettings.bEnableLog = false;
    LoadLinkSettings();
    EXPECT_EQ(LinkSettings.Port, c.port) << c.lines;
    EXPECT_EQ(LinkSettings.bEnableLog, c.log) << c.lines;
  }
}

TEST_F(LinkSettingsTest, SaveWritesTheDocumentedLayoutAndLoadsBack) {
  drive_.MakeZemo();
  SaveLinkSettings();
  EXPECT_EQ(drive_.ReadSettings(),
            "[RemoteDiscount]\r\nIP=localhost\r\nPort=6010\r\nPortbn=6010\r\nbWaitTimeOut=10000\r\n"
            "bEnableLog=1\r\n");

  LinkSettings = {"10.0.0.9", -5, 2000, false, 70000};
  SaveLinkSettings();
  LinkSettings = LinkSettingsBlock{};
  LoadLinkSettings();
  EXPECT_EQ(LinkSettings.IP, "10.0.0.9");
  EXPECT_EQ(LinkSettings.Port, -5);
  EXPECT_EQ(LinkSettings.bWaitTimeOut, 2000);
  EXPECT_FALSE(LinkSettings.bEnableLog);
  EXPECT_EQ(LinkSettings.Portbn, 70000);
}

TEST_F(LinkSettingsTest, SaveKeepsEverythingElseOfTheFile) {
  for (const std::string eol : {"\r\n", "\n"}) {
    const std::string before = "; till 3" + eol + "[Printer]" + eol + "Port=COM1" + eol + eol +
                               "[REMOTEDISCOUNT]" + eol + "; the server" + eol + "Portbn = 7000" + eol +
                               "Extra=keep" + eol + "IP=old" + eol + eol + "[Tail]" + eol + "x=1" + eol;
    drive_.WriteSettings(before);
    LinkSettings.bEnableLog = false;
    SaveLinkSettings();
    EXPECT_EQ(drive_.ReadSettings(), "; till 3" + eol + "[Printer]" + eol + "Port=COM1" + eol + eol +
                                    "[REMOTEDISCOUNT]" + eol + "; the server" + eol + "Portbn = 6010" + eol +
                                    "Extra=keep" + eol + "IP=localhost" + eol + "Port=6010" + eol +
                                    "bWaitTimeOut=10000" + eol + "bEnableLog=0" + eol + eol + "[Tail]" +
                                    eol + "x=1" + eol);
  }
}

TEST_F(LinkSettingsTest, UnwritableTargetRaisesAndStopsAtTheFailingKey) {
  // Running as root, permissions stop nothing: a directory where the file should be does.
  drive_.MakeZemo();
  fs::create_directory(drive_.SettingsFile());
  try {
    SaveLinkSettings();
    FAIL() << "no error raised";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Unable to write to C:\\ZEMO\\Kestmark.INI", 0), 0u) << e.what();
  }
  EXPECT_TRUE(fs::is_directory(drive_.SettingsFile()));

  // "ZEMO" a plain file: no directory can hold the settings.
  fs::remove(drive_.SettingsFile());
  fs::remove(drive_.Zemo());
  std::ofstream(drive_.Zemo()) << "not a directory";
  EXPECT_THROW(SaveLinkSettings(), sd::Exception);

  // A read-only file is refused with the runtime's input/output error, as Windows refuses it.
  fs::remove(drive_.Zemo());
  drive_.WriteSettings("[RemoteDiscount]\r\nIP=old\r\n");
  fs::permissions(drive_.SettingsFile(), fs::perms(0444));
  try {
    SaveLinkSettings();
    ADD_FAILURE() << "saved over a read-only file";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 5);
    EXPECT_EQ(std::string(e.what()), "Unable to write to C:\\ZEMO\\Kestmark.INI (I/O error 5)");
  }
  EXPECT_EQ(drive_.ReadSettings(), "[RemoteDiscount]\r\nIP=old\r\n");
  // Windows removes no read-only file.
  fs::permissions(drive_.SettingsFile(), fs::perms::owner_write, fs::perm_options::add);
  fs::remove_all(drive_.Zemo());

  // A replacement that fails: the file keeps all of its old settings, memory keeps the new ones.
  fs::remove(drive_.Zemo());
  drive_.WriteSettings("[RemoteDiscount]\r\nIP=old\r\n");
  static const platform::FileOps* real;
  real = &platform::SystemFiles();
  platform::FileOps failing = *real;
  failing.replace_all = [](const std::string&, std::string_view) { return 112; };
  platform::SetFiles(&failing);
  LinkSettings.IP = "new";
  EXPECT_THROW(SaveLinkSettings(), EIniFileException);
  platform::SetFiles(nullptr);
  EXPECT_EQ(drive_.ReadSettings(), "[RemoteDiscount]\r\nIP=old\r\n");
  EXPECT_EQ(LinkSettings.IP, "new") << "memory keeps what was being saved";
}

TEST_F(LinkSettingsTest, AnUnreadableFileIsNeverReplaced) {
  drive_.MakeZemo();
  static const platform::FileOps* real;
  real = &platform::SystemFiles();
  platform::FileOps unreadable = *real;
  unreadable.read_all = [](const std::string&, std::string*) { return 30; };
  drive_.WriteSettings("[Other]\r\nkeep=1\r\n");
  platform::SetFiles(&unreadable);
  EXPECT_THROW(SaveLinkSettings(), EIniFileException);
  LoadLinkSettings();
  platform::SetFiles(nullptr);
  ExpectDefaults();
  EXPECT_EQ(drive_.ReadSettings(), "[Other]\r\nkeep=1\r\n");
}

// Bytes of a file as Notepad saves it as "Unicode": UTF-16, little-endian, after its mark.
std::string Utf16File(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST_F(LinkSettingsTest, AUtf16FileIsReadAndSavedBackInUtf16WithEveryCharacterKept) {
  drive_.WriteSettings(Utf16File(u"[Other]\r\nname=\u00DCmlaut \U0001F600 \u4E2D\r\n[RemoteDiscount]\r\n"
                                 u"IP=\u0441\u0435\u0440\u0432\u0435\u0440\r\nPort=7001\r\n"));
  LoadLinkSettings();
  EXPECT_EQ(LinkSettings.IP, "\xF1\xE5\xF0\xE2\xE5\xF0") << "the Cyrillic name in Windows-1251";
  EXPECT_EQ(LinkSettings.Port, 7001);
  LinkSettings.Portbn = 7002;
  SaveLinkSettings();
  EXPECT_EQ(drive_.ReadSettings(),
            Utf16File(u"[Other]\r\nname=\u00DCmlaut \U0001F600 \u4E2D\r\n[RemoteDiscount]\r\n"
                      u"IP=\u0441\u0435\u0440\u0432\u0435\u0440\r\nPort=7001\r\nPortbn=7002\r\n"
                      u"bWaitTimeOut=10000\r\nbEnableLog=1\r\n"));
  LoadLinkSettings();
  EXPECT_EQ(LinkSettings.Portbn, 7002);
}

TEST_F(LinkSettingsTest, AFileOfMoreThanAMebibyteIsTakenAsNoneAndNeverReplaced) {
  const std::string huge = "[RemoteDiscount]\r\nIP=huge\r\n;" + std::string(1 << 20, 'x') + "\r\n";
  drive_.WriteSettings(huge);
  LoadLinkSettings();
  ExpectDefaults();
  EXPECT_THROW(SaveLinkSettings(), EIniFileException);
  EXPECT_EQ(drive_.ReadSettings(), huge);
}

TEST_F(LinkSettingsTest, ALineBreakInAValueIsRefused) {
  drive_.WriteSettings("[RemoteDiscount]\r\nIP=old\r\n");
  LinkSettings.IP = "host\r\n[Evil]\r\nx=1";
  EXPECT_THROW(SaveLinkSettings(), EIniFileException);
  EXPECT_EQ(drive_.ReadSettings(), "[RemoteDiscount]\r\nIP=old\r\n");
}

}  // namespace
}  // namespace sd::settings
