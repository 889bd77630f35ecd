// The real shared library, loaded as a host loads it, each case in a child process so that start-up runs
// afresh: start-up with and without settings, GeTDriver and its log line, and every entry that reaches
// no server.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/entries.h"
#include "smartdriver/errors.h"
#include "smartdriver/host_text.h"
#include "support/child_process.h"
#include "support/driver_library.h"
#include "support/temp_drive.h"
#include "tools/emulator/emulator.h"

namespace sd {
namespace {

using namespace sd::literals;
using sd::testing::ChildOutcome;
using sd::testing::DriverLibrary;
using sd::testing::Raised;
using sd::testing::RunInChild;
using sd::testing::TempDrive;

std::string Str(std::string_view s) { return std::string(s); }

TEST(Library, NoSettingsFileLogsOneLineWithTheDefaultsInEffect) {
  TempDrive drive;
  drive.MakeLogDir();
  ChildOutcome out = RunInChild([&] {
    DriverLibrary lib;
    TSmartDriver* driver = lib.GetDriver();
    DestroyOf(driver)(driver);
    return std::string("ok");
  });
  ASSERT_EQ(out.report, "ok");
  EXPECT_EQ(out.exit_code, 0);
  // date, one blank, time, " - ", the text, CR LF; nothing written at start-up or unload.
  const std::string log = drive.Log();
  const std::string tail = " - " + Str("Драйвер загружен"_w) + "\r\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  EXPECT_EQ(log.find("\r\n"), log.size() - 2);
  // The date and the time are in the user's formats, and a time may carry its own blank ("8:41:05 PM").
  const std::string date = platform::Clock().short_date_text();
  EXPECT_EQ(log.substr(0, date.size() + 1), date + " ");
  EXPECT_FALSE(std::filesystem::exists(drive.SettingsFile())) << "start-up must not create the settings file";
}

TEST(Library, LoggingSwitchedOffInTheFileIsInEffectBeforeGeTDriver) {
  TempDrive drive;
  drive.MakeLogDir();
  drive.WriteSettings("[RemoteDiscount]\r\nbEnableLog=0\r\n");
  ChildOutcome out = RunInChild([&] {
    DriverLibrary lib;
    lib.GetDriver();
    return std::string("ok");
  });
  EXPECT_EQ(out.report, "ok");
  EXPECT_FALSE(std::filesystem::exists(drive.LogFile()));
}

TEST(Library, MissingLogDirectoryMakesGeTDriverRaiseTheInputOutputError) {
  TempDrive drive;
  ChildOutcome out = RunInChild([&] {
    DriverLibrary lib;
    try {
      lib.GetDriver();
    } catch (const EInOutError& e) {
      return "EInOutError " + std::to_string(e.ErrorCode()) + ": " + e.what();
    }
    return std::string("returned");
  });
  EXPECT_EQ(out.report, "EInOutError 3: I/O error 3");
}

TEST(Library, TwoDriversShareTheModuleAndLogTwoLines) {
  TempDrive drive;
  drive.MakeLogDir();
  ChildOutcome out = RunInChild([&] {
    DriverLibrary lib;
    TSmartDriver* a = lib.GetDriver();
    TSmartDriver* b = lib.GetDriver();
    std::string r = a != b && a->table == b->table ? "distinct, one table" : "wrong";
    DestroyOf(a)(a);
    DestroyOf(b)(b);
    return r;
  });
  EXPECT_EQ(out.report, "distinct, one table");
  EXPECT_EQ(drive.LogTexts(), (std::vector<std::string>{Str("Драйвер загружен"_w), Str("Драйвер загружен"_w)}));
}

// Runs `body` against a loaded driver in a child, with logging on and a log directory in place.
std::string WithDriver(TempDrive& drive, const std::function<std::string(TSmartDriver*)>& body) {
  drive.MakeLogDir();
  ChildOutcome out = RunInChild([&] {
    DriverLibrary lib;
    TSmartDriver* driver = lib.GetDriver();
    std::string r = body(driver);
    DestroyOf(driver)(driver);
    return r;
  });
  EXPECT_EQ(out.exit_code, 0) << out.report;
  return out.report;
}

TEST(Entries, VersionWritesExactlyTheLengthByteAndSixteenCharacters) {
  TempDrive drive;
  std::string r = WithDriver(drive, [](TSmartDriver* d) {
    std::vector<unsigned char> buffer(256, 0xAA);
    EntryOf<entry::GetVersion>(d, kGetVersion)(reinterpret_cast<VersionText*>(buffer.data()), d);
    return std::string(buffer.begin(), buffer.end());
  });
  ASSERT_EQ(r.size(), 256u);
  EXPECT_EQ(r.substr(0, 17), std::string("\x10") + "v1.9Vantrel 5121");
  EXPECT_EQ(r.substr(17), std::string(239, '\xAA'));
}

TEST(Entries, BlankCardInfoFillsItsFieldsAndLeavesTheRest) {
  TempDrive drive;
  std::string r = WithDriver(drive, [](TSmartDriver* d) {
    CardInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EntryOf<entry::BlankCardInfo>(d, kBlankCardInfo)(&info, d, 1, 2);
    std::string s(reinterpret_cast<const char*>(&info), sizeof info);
    return s;
  });
  ASSERT_EQ(r.size(), sizeof(CardInfo));
  CardInfo info;
  std::memcpy(&info, r.data(), sizeof info);
  EXPECT_EQ(info.Flag, 255);
  EXPECT_EQ(info.CardHead.length, 0);
  EXPECT_EQ(info.CardTail.length, 0);
  EXPECT_EQ(std::string(info.CardHead.chars, 4), std::string(4, 0x5A)) << "characters are not cleared";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(info.Unused13), 3), std::string(3, 0x5A));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(info.Value16), 8), std::string(8, '\0'));
  const double now = 46000.0;  // a day of 2025; a card record dated today plus 10 days lies beyond it
  EXPECT_GT(info.ValidUntil, now + 10);
  EXPECT_EQ(info.Amount32, 1000);
  EXPECT_EQ(info.Amount40, 1000);
  EXPECT_EQ(info.Amount48, 1000);
  EXPECT_EQ(info.Amount56, 1000);
  EXPECT_EQ(drive.LogTexts().size(), 1u) << "BlankCardInfo writes no log line";
}

TEST(Entries, RefusalsAndAbstractEntriesRaiseTheirTextsByteForByte) {
  TempDrive drive;
  std::string r = WithDriver(drive, [](TSmartDriver* d) {
    std::string out;
    out += Raised([&] {
             EntryOf<entry::TerminalUnsupported>(d, kTerminalUnsupported)(nullptr, d, nullptr, nullptr, 0, 0, 0, 0, 0);
           }) + "|";
    out += Raised([&] { EntryOf<entry::OperationUnsupported>(d, kOperationUnsupported)(nullptr, d, 1, 2, 3); }) + "|";
    for (int slot : {kAbstract0, kAbstract2, kAbstract3, kAbstract4}) {
      try {
        EntryOf<entry::Abstract>(d, slot)(d);
        out += "returned|";
      } catch (const EAbstractError& e) {
        out += std::string(e.what()) + "|";
      }
    }
    // The host's own copy of the general class catches what the library throws.
    try {
      EntryOf<entry::OperationUnsupported>(d, kOperationUnsupported)(nullptr, d, 0, 0, 0);
    } catch (const Exception&) {
      out += "caught as sd::Exception";
    }
    return out;
  });
  EXPECT_EQ(r, Str("Не возможно выполнить эту операцию с данным видом терминала"_w) + "|" +
                   Str("\"Вельтор\" не поддерживает данную операцию"_w) +
                   "|Abstract Error|Abstract Error|Abstract Error|Abstract Error|caught as sd::Exception");
}

// Each kind of failure that a host may act on differently reaches it, through the real library, as its
// own class: on Windows that is the structured exception's failure argument, raised again by the host's
// sd::CallEntry.
TEST(Entries, FailuresReachTheHostAsTheirClasses) {
  emulator::Emulator server;
  emulator::Scenario scenario;
  scenario.wallets[2].approval = 0;
  scenario.wallets[3].fault = emulator::Fault::Silent;
  server.SetScenario(scenario);
  TempDrive drive;
  drive.WriteSettings("[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server.DiscountPort()) +
                      "\r\nPortbn=" + std::to_string(server.CashlessPort()) + "\r\nbWaitTimeOut=300\r\n");
  const std::string r = WithDriver(drive, [](TSmartDriver* d) {
    auto sale = [d](std::uint8_t wallet, double quantity) {
      return [d, wallet, quantity] {
        CashlessResult result{};
        EntryOf<entry::CashlessSale>(d, kCashlessSale)(&result, d, 0, wallet, quantity, 10);
      };
    };
    auto class_of = [](const std::function<void()>& call) -> std::string {
      try {
        call();
      } catch (const EServerRefusal&) {
        return "refused";
      } catch (const ETimeOut&) {
        return "time-out";
      } catch (const ECommunicationError&) {
        return "communication";
      } catch (const EInvalidArgument&) {
        return "argument";
      } catch (const EUnsupported&) {
        return "unsupported";
      } catch (const Exception&) {
        return "general";
      }
      return "returned";
    };
    std::string out;
    out += class_of(sale(1, 1)) + " ";
    out += class_of(sale(2, 1)) + " ";
    out += class_of(sale(3, 1)) + " ";
    out += class_of(sale(1, std::numeric_limits<double>::quiet_NaN())) + " ";
    out += class_of([d] { EntryOf<entry::OperationUnsupported>(d, kOperationUnsupported)(nullptr, d, 1, 2, 3); }) + " ";
    HostText card("99999999999");
    out += class_of([d, &card] {
      CashlessResult result{};
      std::uint8_t ignored[3] = {};
      EntryOf<entry::CashlessReturn>(d, kCashlessReturn)(&result, d, 0, nullptr, card.arg(), ignored, 2, 1, 1, 10, 0);
    });
    return out;
  });
  EXPECT_EQ(r, "returned refused time-out argument unsupported argument");
}

TEST(Entries, NoOpEntriesReturnAndLeaveNoTrace) {
  TempDrive drive;
  std::string r = WithDriver(drive, [](TSmartDriver* d) {
    HostText text("abc");
    Ignored272 big{};
    Variant16 variant{};
    EntryOf<entry::Nop5>(d, kNop5)(d, 1, 2, 3, 4);
    EntryOf<entry::Nop6>(d, kNop6)(d, 1);
    EntryOf<entry::Nop8>(d, kNop8)(d, text.arg());
    EntryOf<entry::Nop8>(d, kNop8)(d, nullptr);
    EntryOf<entry::Nop9>(d, kNop9)(d, 1);
    EntryOf<entry::Nop13>(d, kNop13)(d, 1, 2, 3);
    EntryOf<entry::Nop14>(d, kNop14)(d);
    EntryOf<entry::Nop16>(d, kNop16)(d, 1, 2);
    EntryOf<entry::Nop17>(d, kNop17)(d, big);
    EntryOf<entry::Nop21>(d, kNop21)(d, variant);
    return std::string("ok");
  });
  EXPECT_EQ(r, "ok");
  EXPECT_EQ(drive.LogTexts().size(), 1u);
}

// Entry 20 of a copied table, to see what ForwardDiscountOperation hands it.
std::string g_forwarded;
void SD_STDCALL RecordDiscount(DiscountResult* result, TSmartDriver*, std::uint8_t type_oper, std::uint8_t koshel,
                               double kolvo, double summa, const char* t1, const char* t2, const char* t3) {
  g_forwarded = std::string(1, static_cast<char>(type_oper)) + " " + std::to_string(koshel) + " " +
                std::to_string(kolvo) + " " + std::to_string(summa) + " [" + std::string(ReadHostText(t1)) +
                "] [" + std::string(ReadHostText(t2)) + "] " + (t3 == nullptr ? "null" : "text") + " " +
                std::to_string(result->Flag);
  throw Exception("from entry 20");
}

TEST(Entries, ForwardDiscountOperationCallsEntryTwentyThroughTheTable) {
  TempDrive drive;
  std::string r = WithDriver(drive, [](TSmartDriver* d) {
    std::vector<const void*> table(d->table - 1, d->table + kSlotCount);
    table[1 + kDiscountOperation] = reinterpret_cast<const void*>(&RecordDiscount);
    TSmartDriver copy{table.data() + 1};
    DiscountResult result{};
    result.Flag = 7;
    HostText first("first"), second("card 0012");
    std::string raised = Raised([&] {
      EntryOf<entry::ForwardDiscountOperation>(&copy, kForwardDiscountOperation)(&result, &copy, 'M', 3, 2.5, 10,
                                                                                 first.arg(), second.arg());
    });
    return g_forwarded + " / " + raised;
  });
  EXPECT_EQ(r, "M 3 2.500000 10.000000 [first] [card 0012] null 7 / from entry 20");
}

}  // namespace
}  // namespace sd
