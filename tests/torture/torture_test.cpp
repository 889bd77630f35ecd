// The torture harness: every scenario runs once clean to count its failable platform calls, then once for
// every one of them with that call failing. Whatever fails, the scenario ends in a whole success or an
// operator message, leaves no socket, thread or torn file behind, and the next clean run succeeds.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "driver/module.h"
#include "driver/operation_fixture.h"
#include "settings/config_form.h"
#include "support/fault_plan.h"
#include "support/process_stats.h"
#include "transport/socket_stack.h"

// The library's one export, built into this program from its own source so that it runs on the tables
// that the fault plan replaces.
extern "C" sd::TSmartDriver* SD_STDCALL GeTDriver(std::uint8_t);

namespace sd::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLinePrefix = "08.12.2026 13:56:07 - ";
constexpr int kWaitMs = 1000;

// The clock of the operation tests, stopped, so that the date a record carries is the same in every run.
const platform::ClockOps kStoppedClock{[] { return 46364.5; }, kCommaClock.short_date_text,
                                       kCommaClock.long_time_text, kCommaClock.decimal_separator};

template <typename Record>
std::string Bytes(const Record& r) {
  return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

// The operator answers the dialog with new settings and presses Apply.
class OperatorView : public settings::ConfigFormView {
 public:
  bool CanShowModal() override { return true; }
  settings::ModalResult ShowModal(settings::TConfigKestForm& form) override {
    form.edIP.Text = "10.9.8.7";
    form.edPort.Text = "7001";
    form.edPortbn.Text = "7002";
    form.seTimOut.SetValue(5);
    form.cbLog.Checked = true;
    return form.BitBtn1.Result;
  }
  void ShowMessage(std::string_view, std::string_view) override {}
};

class Torture : public OperationTest {
 protected:
  // What a run ended in: the raised message ("" for success) and what it produced.
  struct Outcome {
    std::string message;
    std::string result;
  };
  struct Scenario {
    const char* name;
    std::function<void()> prepare;  // before every run, with nothing counted
    std::function<Outcome()> run;
    std::function<void(const Outcome& clean)> check;  // what must hold after every run
  };

  void SetUp() override {
    OperationTest::SetUp();
    platform::SetClock(&kStoppedClock);
    settings::LinkSettings.bWaitTimeOut = kWaitMs;
    // The loopback address in a short form that only the resolver reads, so that the name lookup is among
    // the calls that fail, without asking any name server.
    settings::LinkSettings.IP = "127.1";
    emulator_settings_ = settings::LinkSettings;
  }

  // Lets the exchange threads of a run end; a run whose thread never ends hangs.
  void Settle() { EXPECT_TRUE(exchange::WaitForExchangeThreads(std::chrono::seconds(5))) << "an exchange hangs"; }

  // A log file holds whole lines only: it ends with the end of a line, and a time stamp stands only at
  // the start of one. (An entry may span lines: a socket error's text holds a line break of its own.)
  static void ExpectWholeLines(const fs::path& file) {
    const std::string log = TempDrive::Read(file);
    if (log.empty()) return;
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << file << " ends in a torn line";
    for (std::size_t at = log.find(kLinePrefix); at != std::string::npos; at = log.find(kLinePrefix, at + 1))
      EXPECT_TRUE(at == 0 || log.compare(at - 2, 2, "\r\n") == 0)
          << file << ": a torn line before '" << log.substr(at, 60) << "'";
  }
  void ExpectWholeLogs() {
    for (const auto& entry : fs::directory_iterator(drive_.LogDir())) ExpectWholeLines(entry.path());
  }

  // The harness: the scenario once clean, then once for every call it made with that call failing with
  // the codes given. Returns the number of calls.
  long FailEachCall(const Scenario& s, int file_code, int socket_code) {
    SCOPED_TRACE(std::string(s.name) + ", codes " + std::to_string(file_code) + "/" + std::to_string(socket_code));
    FaultPlan plan;
    const auto once = [&](long fail_at) {
      s.prepare();
      plan.Arm(fail_at, file_code, socket_code);
      Outcome out = s.run();
      Settle();
      plan.Disarm();
      return out;
    };
    const Outcome clean = once(0);
    const long calls = plan.Calls();
    EXPECT_EQ(clean.message, "");
    EXPECT_GT(calls, 0);
    s.check(clean);
    for (long n = 1; n <= calls; ++n) {
      const std::size_t requests = emulator_.Exchanges().size();
      const Outcome got = once(n);
      SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls) + " failed: " + plan.Failed());
      // A success is the real one, never one made up after a failure.
      if (got.message.empty()) {
        EXPECT_EQ(got.result, clean.result) << "a success with another result";
      }
      // Once the server has the request, a log line that cannot be written changes nothing of the answer.
      if (plan.Failed() == "append" && emulator_.Exchanges().size() > requests) {
        EXPECT_EQ(got.message, "") << "a lost log line turned an answered operation into a failure";
        EXPECT_EQ(got.result, clean.result);
      }
      EXPECT_EQ(plan.OpenSockets(), 0u) << "a socket left open";
      EXPECT_TRUE(plan.WaitForThreads(std::chrono::seconds(2))) << "a thread still runs";
      EXPECT_LE(plan.UnjoinedThreads(), 1u) << "threads kept unjoined";  // the last one, until the next start
      s.check(clean);
      ExpectWholeLogs();
      const Outcome next = once(0);
      EXPECT_EQ(next.message, "") << "the next clean run fails";
      EXPECT_EQ(next.result, clean.result);
    }
    return calls;
  }

  Scenario Operation(const char* name, std::function<Outcome()> run) {
    // The socket library is stopped before every run, so that its start is among the calls that fail.
    return {name, [] { transport::StopSocketLibrary(); }, std::move(run), [](const Outcome&) {}};
  }

  settings::LinkSettingsBlock emulator_settings_;
};

TEST_F(Torture, EveryFailableCallOfEveryScenarioFailsInTurn) {
  const fs::path ini = drive_.SettingsFile();
  const std::string old_ini = "[Other]\r\nkeep=1\r\n[RemoteDiscount]\r\nIP=old\r\nPort=1111\r\n";
  const fs::path log = drive_.LogFile();
  OperatorView view;
  settings::TConfigKestForm form(view);

  const Scenario scenarios[] = {
      Operation("card query",
                [&] {
                  CardInfo r{};
                  std::string m = CardQuery(r, 1);
                  return Outcome{m, Bytes(r)};
                }),
      Operation("discount",
                [&] {
                  DiscountResult r{};
                  std::string m = Discount(r, 'M', 1, 2, 100, "0012");
                  return Outcome{m, Bytes(r)};
                }),
      Operation("cashless sale",
                [&] {
                  CashlessResult r{};
                  std::string m = Sale(r, 2, 3, 150);
                  return Outcome{m, Bytes(r)};
                }),
      Operation("cashless return",
                [&] {
                  CashlessResult r{};
                  std::string m = Return(r, "0012345678", 3, 1, 47.5);
                  return Outcome{m, Bytes(r)};
                }),
      // The library as a Windows host's loader starts it, with the settings left for GeTDriver.
      {"GeTDriver",
       [&] {
         drive_.WriteSettings("[RemoteDiscount]\r\nIP=127.1\r\nPort=" + std::to_string(emulator_.DiscountPort()) +
                              "\r\nPortbn=" + std::to_string(emulator_.CashlessPort()) +
                              "\r\nbWaitTimeOut=" + std::to_string(kWaitMs) + "\r\n");
       },
       [&] {
         driver::StartModule(true);
         TSmartDriver* d = nullptr;
         std::string m = Call([&] { d = GeTDriver(0); });
         if (d != nullptr) DestroyOf(d)(d);
         driver::StopModule(/*under_loader_lock=*/false);
         log::BindLogSwitch(&settings::LinkSettings.bEnableLog);
         return Outcome{m, d != nullptr ? "driver" : ""};
       },
       [&](const Outcome&) { EXPECT_EQ(settings::LinkSettings.Portbn, emulator_settings_.Portbn); }},
      {"settings Apply",
       [&] { drive_.WriteSettings(old_ini); },
       [&] {
         std::string m = Call([&] { form.SettingsMenuClick(); });
         settings::LinkSettings = emulator_settings_;
         return Outcome{m, drive_.ReadSettings()};
       },
       [&](const Outcome& clean) {
         const std::string now = drive_.ReadSettings();
         EXPECT_TRUE(now == old_ini || now == clean.result) << "a settings file half saved:\n" << now;
       }},
      {"log rotation",
       [&] {
         for (const auto& e : fs::directory_iterator(drive_.LogDir())) fs::remove(e.path());
         // Whole lines up to the limit: the next line takes the file past it.
         const std::string line = std::string(kLinePrefix) + std::string(1000, 'x') + "\r\n";
         std::ofstream out(log, std::ios::binary);
         for (std::int64_t size = 0; size + static_cast<std::int64_t>(line.size()) <= log::kRotateAbove;
              size += static_cast<std::int64_t>(line.size()))
           out << line;
       },
       // A move that fails is not reported: the log then grows on, and the move is tried after the next line.
       [&] { return Outcome{Call([] { log::WriteLog("rotation"); }), ""}; },
       [&](const Outcome&) {}},
  };

  // A full disk and a reset connection; a file locked by another program and a connection timed out.
  const std::pair<int, int> codes[] = {{112, 10054}, {5, 10060}};
  const auto start = std::chrono::steady_clock::now();
  // GoogleTest on Windows watches each thread that keeps a trace with a thread of its own, which lives as
  // long as the watched one: the main thread's starts here, before anything is counted.
  SCOPED_TRACE("torture");
  for (const Scenario& s : scenarios) {
    const int handles = HandleCount(), threads = ThreadCount();
    const auto scenario_start = std::chrono::steady_clock::now();
    long calls = 0;
    for (const auto& [file_code, socket_code] : codes) calls = FailEachCall(s, file_code, socket_code);
    std::printf("%-16s %3ld failable calls, %.1f s\n", s.name, calls,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - scenario_start).count());
    // The whole process, files included; the emulator's side of the last connection may take a moment.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while ((HandleCount() > handles || ThreadCount() > threads) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_LE(HandleCount(), handles) << s.name << " left handles open";
    EXPECT_LE(ThreadCount(), threads) << s.name << " left threads running";
  }
  std::printf("all in %.1f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace
}  // namespace sd::testing
