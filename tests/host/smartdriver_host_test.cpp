// smartdriver-host as a user runs it: the built program, the built library and the emulator as a separate
// program on loopback, each case with its own drive C. A run with failing lines in the middle, the
// time-out of a silent server, the operation log of one run, the check command, and the refusals of bad
// arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/library.h"
#include "support/child_process.h"
#include "support/emulator_process.h"
#include "support/temp_drive.h"

namespace sd {
namespace {

using sd::testing::EmulatorProcess;
using sd::testing::ProgramResult;
using sd::testing::RunProgram;
using sd::testing::TempDrive;

ProgramResult Host(const TempDrive& drive, std::vector<std::string> args, const std::string& input = "",
                   bool with_lib = true) {
  if (with_lib) args.insert(args.begin(), {"--lib", SD_TEST_LIBRARY});
  args.insert(args.begin(), {"--drive-c", drive.root().string()});
  // Only the option names drive C: what this process chose does not reach the program.
  return RunProgram(sd::testing::BuiltProgram("smartdriver-host"), args, {{"SMARTDRIVER_DRIVE_C", ""}}, input);
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

class HostAgainstEmulator : public ::testing::Test {
 protected:
  void Start(const std::string& scenario, int wait_ms = 2000) {
    emulator_ = std::make_unique<EmulatorProcess>(drive_.root(), scenario);
    ASSERT_TRUE(emulator_->Ready()) << "the emulator did not report its ports";
    drive_.MakeLogDir();
    drive_.WriteSettings(emulator_->SettingsText(wait_ms));
  }
  void TearDown() override {
    if (emulator_) emulator_->Stop();
  }

  TempDrive drive_;
  std::unique_ptr<EmulatorProcess> emulator_;
};

// A sale whose middle goes wrong three ways: the server refuses, a line is mistyped, and the driver
// cannot read a card text. The lines after each failure still run in the same load.
const char kSaleWithFailures[] =
    "# a sale\r\n"
    "discount M 1 2 100 \"Иванов И.\"\r\n"
    "\r\n"
    "cashless-sale 9 1 50\n"
    "discount M 1 abc 100\n"
    "cashless-return 12AB 1 1 50\n"
    "discount + 1 2 100\n";

TEST_F(HostAgainstEmulator, RunKeepsGoingAfterFailingLinesAndEndsWithStatus1) {
  Start("wallet 9 approval=0\n");
  const ProgramResult r = Host(drive_, {"--log", "run", "-"}, kSaleWithFailures);
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  const std::string& out = r.out;
  EXPECT_EQ(out.find("# a sale"), std::string::npos) << "comment lines are not echoed";
  EXPECT_NE(out.find("> discount M 1 2 100 \"Иванов И.\"\n"
                     "DiscountResult.Flag = 255\n"
                     "DiscountResult.TypeOper = M\n"
                     "DiscountResult.Byte3 = 0\n"
                     "DiscountResult.Byte4 = 0\n"
                     "DiscountResult.NumberCard = 0012345678\n"
                     "DiscountResult.SummaSk = 95\n"
                     "DiscountResult.Summa = 100\n"
                     "DiscountResult.Price = 50\n"
                     "DiscountResult.CosteSk = 47.5\n"
                     "DiscountResult.Skidka = 5\n"),
            std::string::npos)
      << out;
  // The refusal comes with the record the driver filled before it refused.
  EXPECT_NE(out.find("> cashless-sale 9 1 50\n"
                     "CashlessResult.Flag = 255\n"
                     "CashlessResult.Byte1 = 0\n"
                     "CashlessResult.NumberCard = 0012345678\n"
                     "CashlessResult.SummaSk = 47.5\n"
                     "CashlessResult.Skidka = 5\n"
                     "CashlessResult.PriceSk = 47.5\n"
                     "error: Сервер \"Вельтор\" отменил операцию\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("> discount M 1 abc 100\nerror: line 5: bad QTY 'abc'"), std::string::npos) << out;
  EXPECT_NE(out.find("error: '12AB' is not a valid integer value\n"), std::string::npos) << out;
  // The cancel at the end ran, on the card of the exchange before it, in the same load.
  EXPECT_NE(out.find("> discount + 1 2 100\nDiscountResult.Flag = 255\nDiscountResult.TypeOper = +\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(Count(out, "\nerror: "), 3) << out;
  EXPECT_EQ(Count(out, "Драйвер загружен"), 1) << "one load for the whole run";
  EXPECT_NE(out.find("Запрос скидки: TypeOper=77 Koshel=1 Kolvo=2 Summa=100 карта=Иванов И.\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("Отмена продажи: TypeOper=43"), std::string::npos) << out;

  // Counters run on across the lines: the discount server saw requests 0 and 1, the cashless server one
  // sale and nothing for the return it could not read.
  EXPECT_EQ(emulator_->Stop(), 0);
  const std::string served = emulator_->Output();
  EXPECT_NE(served.find("request: type=3 counter=0 wallet=1"), std::string::npos) << served;
  EXPECT_NE(served.find("request: type=2 counter=1 wallet=1 quantity=2000 card=0012345678"), std::string::npos)
      << served;
  EXPECT_EQ(Count(served, "request: "), 3) << served;
}

TEST_F(HostAgainstEmulator, StopOnErrorEndsTheRunAtTheFirstFailure) {
  Start("wallet 9 approval=0\n");
  const ProgramResult r = Host(drive_, {"run", "-", "--stop-on-error"}, kSaleWithFailures);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("отменил операцию"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("> discount M 1 abc 100"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("> discount + 1 2 100"), std::string::npos) << r.out;
}

TEST_F(HostAgainstEmulator, SilentServerEndsInTheTimeOutMessageAndTheNextLineStillWorks) {
  Start("wallet 7 fault=silent\n", 1000);
  const auto t0 = std::chrono::steady_clock::now();
  const ProgramResult r = Host(drive_, {"run", "-"}, "discount - 7 1 10\ncard-info 1\n");
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("error: Не удалось получить скидку: TimeOut\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("> card-info 1\nCardInfo.Flag = 0\nCardInfo.CardHead = 0012\nCardInfo.CardTail = 345678\n"),
            std::string::npos)
      << r.out;
  EXPECT_LT(took, std::chrono::seconds(20)) << "the run must not hang on the silent connection";
}

TEST_F(HostAgainstEmulator, SingleCommandPrintsItsRecordAndTheLogLinesOfThisRunOnly) {
  Start("");
  std::filesystem::create_directories(drive_.LogDir());
  std::ofstream(drive_.LogFile(), std::ios::binary) << "01.01.26 10:00:00 - an older line\r\n";
  const ProgramResult r = Host(drive_, {"cashless-sale", "2", "3", "150", "--log"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("CashlessResult.SummaSk = 142.5\nCashlessResult.Skidka = 5\nCashlessResult.PriceSk = 47.5\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("an older line"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" - Операция б/н проведена: Koshel=2 Kolvo=3 Summa=150 NumberCard=0012345678 SummaSk=142.5"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find('\r'), std::string::npos) << "log lines are shown with plain line feeds";
}

// check: the settings with their origin, then one line per step. Against the emulator every step passes,
// the card query included; then a till whose log folder is missing, whose discount port refuses and whose
// cashless port cannot exist fails exactly those steps.
TEST_F(HostAgainstEmulator, CheckPassesEveryStepAndNamesEachFailure) {
  Start("");
  const ProgramResult good = Host(drive_, {"check", "--query", "1"});
  EXPECT_EQ(good.exit_code, 0) << good.out << good.err;
  const std::string d = std::to_string(emulator_->DiscountPort()), c = std::to_string(emulator_->CashlessPort());
  for (const std::string& line : std::vector<std::string>{"  IP = 127.0.0.1 (file)\n", "  Port = " + d + " (file)\n",
                                  "  Portbn = " + c + " (file)\n", "  bWaitTimeOut = 2000 (file)\n",
                                  "  bEnableLog = 1 (file)\n", "address 127.0.0.1 = 127.0.0.1: ok\n",
                                  "discount server port " + d + ": ok\n", "cashless server port " + c + ": ok\n",
                                  "card query for wallet 1 (card 0012345678): ok\n"})
    EXPECT_NE(good.out.find(line), std::string::npos) << line << "in:\n" << good.out;
  EXPECT_EQ(Count(good.out, ": ok\n"), 5) << good.out;
  // Only the card query sent anything: the emulator saw one request.
  EXPECT_TRUE(emulator_->WaitForOutput(" request: ", std::chrono::seconds(5)));
  EXPECT_EQ(Count(emulator_->Output(), " request: "), 1) << emulator_->Output();

  TempDrive broken;
  broken.WriteSettings("[RemoteDiscount]\r\nIP=localhost\r\nPort=1\r\nPortbn=70000\r\nbWaitTimeOut=x\r\n");
  const ProgramResult bad = Host(broken, {"check"});
  EXPECT_EQ(bad.exit_code, 1) << bad.out << bad.err;
  for (const std::string& line : std::vector<std::string>{
           "  IP = localhost (file)\n", "  bWaitTimeOut = 10000 (default: the file's \"x\" is not a whole number)\n",
        "  bEnableLog = 1 (default)\n", ": I/O error 3\n",
        "discount server port 1: Ошибка связи с сервером: Socket Error # 10061 Connection refused.\n",
        "cashless server port 70000: Port 70000 is outside 1..65535\n"})
    EXPECT_NE(bad.out.find(line), std::string::npos) << line << "in:\n" << bad.out;
}

TEST(HostProgram, WithoutLibOptionLoadsTheLibraryOfItsOwnBuild) {
  TempDrive drive;
  drive.MakeLogDir();
  const ProgramResult r = Host(drive, {"version"}, "", /*with_lib=*/false);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Version.Text = v1.9Vantrel 5121\n");
}

TEST(HostProgram, BadArgumentsAreRefusedBeforeTheLibraryIsLoaded) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "missing command"},
      {{"sell", "1"}, "unknown command 'sell'"},
      {{"discount", "x", "1", "2", "100"}, "bad OP 'x'"},
      {{"discount", "m", "1", "2", "100"}, "bad OP 'm'"},
      {{"card-info", "256"}, "bad WALLET '256'"},
      {{"card-info", "-1"}, "bad WALLET '-1'"},
      {{"cashless-sale", "1", "1,5", "100"}, "bad QTY '1,5'"},
      {{"cashless-sale", "1", "2", "nan"}, "bad SUM 'nan'"},
      {{"cashless-sale", "1", "2", "1e999"}, "bad SUM '1e999'"},
      {{"cashless-sale", "1", "2"}, "missing arguments: usage: cashless-sale WALLET QTY SUM"},
      {{"version", "now"}, "too many arguments"},
      {{"discount", "M", "1", "2", "100", "a", "b"}, "too many arguments"},
      {{"--verbose", "version"}, "unknown option --verbose"},
      {{"version", "--lib"}, "--lib needs a PATH"},
      {{"version", "--drive-c"}, "--drive-c needs a DIR"},
      {{"run"}, "usage: run FILE"},
      {{"run", "/nonexistent/sale.txt"}, "cannot read /nonexistent/sale.txt"},
  };
  TempDrive drive;
  drive.MakeLogDir();
  for (const Case& c : cases) {
    const ProgramResult r = Host(drive, c.args);
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    EXPECT_EQ(r.exit_code, 2) << shown;
    EXPECT_NE(r.err.find("error: " + c.message), std::string::npos) << shown << "\n" << r.err;
    EXPECT_EQ(r.out, "") << shown;
  }
  EXPECT_FALSE(std::filesystem::exists(drive.LogFile())) << "no bad command may load the library";
}

TEST(HostProgram, ALibraryThatCannotBeLoadedOrStartedEndsWithStatus3) {
  TempDrive drive;
  drive.MakeLogDir();
  const ProgramResult missing = Host(drive, {"--lib", (drive.root() / "nothing.so").string(), "version"}, "", false);
  EXPECT_EQ(missing.exit_code, 3);
  EXPECT_NE(missing.err.find("error: cannot load"), std::string::npos) << missing.err;

  std::ofstream(drive.root() / "text.so") << "not a library\n";
  const ProgramResult text = Host(drive, {"--lib", (drive.root() / "text.so").string(), "version"}, "", false);
  EXPECT_EQ(text.exit_code, 3);
  EXPECT_NE(text.err.find("error: cannot load"), std::string::npos) << text.err;

  // A library that loads but is not the driver: the flat C interface's, built beside it.
  const std::filesystem::path other =
      std::filesystem::path(SD_TEST_LIBRARY).parent_path() / platform::SharedLibraryFileName("smartdriver-c");
  const ProgramResult foreign = Host(drive, {"--lib", other.string(), "version"}, "", false);
  EXPECT_EQ(foreign.exit_code, 3);
  EXPECT_NE(foreign.err.find(" does not export GeTDriver"), std::string::npos) << foreign.err;

  // Logging on and no log directory: GeTDriver itself raises.
  TempDrive bare;
  const ProgramResult no_log_dir = Host(bare, {"blank-card"});
  EXPECT_EQ(no_log_dir.exit_code, 3);
  EXPECT_NE(no_log_dir.out.find("error: I/O error 3\n"), std::string::npos) << no_log_dir.out;
  EXPECT_EQ(no_log_dir.out.find("CardInfo."), std::string::npos);
}

}  // namespace
}  // namespace sd
