// `smartdriver-host settings`: the library's dialog opened through its entry in the program's menu, shown
// as its show handler fills it, and applied through its own Apply handler, all or nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_drive.h"

namespace sd {
namespace {

using sd::testing::ProgramResult;
using sd::testing::RunProgram;
using sd::testing::TempDrive;

const char kSettings[] =
    "[RemoteDiscount]\r\nIP=10.0.0.5\r\nPort=6010\r\nPortbn=6011\r\nbWaitTimeOut=2500\r\nbEnableLog=1\r\n";

ProgramResult Settings(const TempDrive& drive, std::vector<std::string> args) {
  args.insert(args.begin(), {"--drive-c", drive.root().string(), "--lib", SD_TEST_LIBRARY, "settings"});
  return RunProgram(sd::testing::BuiltProgram("smartdriver-host"), args, {{"SMARTDRIVER_DRIVE_C", ""}});
}

TEST(SettingsCommand, ShowsTheDialogAsItsShowHandlerFillsIt) {
  TempDrive drive;
  drive.MakeLogDir();
  drive.WriteSettings(kSettings);
  const ProgramResult r = Settings(drive, {});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.out,
            "Dialog.Caption = Настройки подключения к системе Вельтор\n"
            "Dialog.edIP = 10.0.0.5    (IP адрес сервера___ )\n"
            "Dialog.edPort = 6010    (Порт для подключения к серверу скидок _____)\n"
            "Dialog.edPortbn = 6011    (Порт для подключения к серверу безнала ____)\n"
            "Dialog.seTimOut = 2    (Время ожидания ответа сервера скидок, с. ___)\n"
            "Dialog.cbLog = 1    (Вести логи по операциям)\n"
            "Dialog.BitBtn1 = Применить\n"
            "Dialog.BitBtn2 = Отменить\n");
  EXPECT_EQ(TempDrive::Read(drive.SettingsFile()), kSettings) << "showing the dialog saves nothing";
}

TEST(SettingsCommand, SetValuesAreSavedByApplyAndShownWhenTheDialogOpensAgain) {
  TempDrive drive;  // no log directory: the dialog does not need the driver object
  drive.WriteSettings(kSettings);
  const ProgramResult r =
      Settings(drive, {"--set", "edPort=6020", "--set", "seTimOut=5", "--set", "cbLog=0", "--set", "edIP=касса-1"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Applying with Применить: edPort=6020 seTimOut=5 cbLog=0 edIP=касса-1\n"), std::string::npos)
      << r.out;
  const auto again = r.out.find("Saved. The dialog now shows:\n");
  ASSERT_NE(again, std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Dialog.edPort = 6020 ", again), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Dialog.edIP = касса-1 ", again), std::string::npos) << r.out;
  const std::string saved = TempDrive::Read(drive.SettingsFile());
  EXPECT_NE(saved.find("IP=\xEA\xE0\xF1\xF1\xE0-1\r\n"), std::string::npos) << "the IP is stored in Windows-1251";
  EXPECT_NE(saved.find("Port=6020\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("Portbn=6011\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("bWaitTimeOut=5000\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("bEnableLog=0\r\n"), std::string::npos) << saved;
}

TEST(SettingsCommand, ValuesThatCannotBeAppliedChangeNothing) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string message;
  };
  const Case cases[] = {
      // Apply itself refuses a bad port, after the good value before it was already in the dialog.
      {{"--set", "edPort=6020", "--set", "edPortbn=abc"}, 1, "message: Неверный № порта\n"},
      {{"--set", "edPort=6020", "--set", "edNothing=1"}, 2, "error: the dialog does not take edNothing=1"},
      {{"--set", "seTimOut=2.5"}, 2, "error: the dialog does not take seTimOut=2.5"},
      {{"--set", "edIP"}, 2, "error: bad --set 'edIP'"},
      {{"extra"}, 2, "usage: settings"},
  };
  for (const Case& c : cases) {
    TempDrive drive;
    drive.MakeLogDir();
    drive.WriteSettings(kSettings);
    const ProgramResult r = Settings(drive, c.args);
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    EXPECT_EQ(r.exit_code, c.exit_code) << shown << "\n" << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    EXPECT_EQ(r.out.find("Saved."), std::string::npos) << r.out;
    EXPECT_EQ(TempDrive::Read(drive.SettingsFile()), kSettings) << shown;
  }
}

}  // namespace
}  // namespace sd
