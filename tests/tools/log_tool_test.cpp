// Tests of smartdriver-log on logs that the real library wrote against the emulator: the committed
// Russian-format log with faults and a rotation (tests/tools/data/make_log_fixture.sh wrote it), that
// log damaged in several ways, frames of the wire format, and the demo's sale run live.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "exchange/codec.h"
#include "support/child_process.h"
#include "support/emulator_process.h"
#include "log/log_lines.h"
#include "smartdriver/cp1251.h"
#include "support/temp_drive.h"
#include "tools/log/frame_fields.h"
#include "tools/log/log_reader.h"
#include "tools/log/grouping.h"
#include "tools/log/report.h"

namespace sd::logtool {
namespace {

using namespace sd::literals;

// The fixture's log files, in the order smartdriver-log reads a directory.
LogText ReadFixture() {
  LogText log;
  for (const auto& file : OrderLogFiles({SD_LOG_FIXTURES})) ReadLog(testing::TempDrive::Read(file), Utf8Name(file), log);
  return log;
}

std::string CurrentFixtureFile() {
  return testing::TempDrive::Read(std::filesystem::path(SD_LOG_FIXTURES) / u8"Орвелина.log");
}

struct Expected {
  Kind kind;
  int wallet;
  std::string card;
  Outcome outcome;
  std::string message;  // its beginning
  int late_lines;
  bool damaged = false;
};

void ExpectOperations(const Grouped& g, const std::vector<Expected>& expected) {
  ASSERT_EQ(g.operations.size(), expected.size());
  for (std::size_t i = 0; i < g.operations.size(); ++i) {
    const Operation& op = g.operations[i];
    const Expected& e = expected[i];
    SCOPED_TRACE("operation " + std::to_string(i + 1) + " at line " + std::to_string(op.start.line));
    EXPECT_EQ(op.kind, e.kind);
    EXPECT_EQ(op.Wallet(), e.wallet);
    EXPECT_EQ(op.Card(), e.card);
    EXPECT_EQ(OutcomeName(op.outcome), std::string(OutcomeName(e.outcome)));
    EXPECT_TRUE(op.message.starts_with(e.message) && op.message.empty() == e.message.empty()) << op.message;
    EXPECT_EQ(op.late_lines, e.late_lines);
    EXPECT_EQ(!op.damage.empty(), e.damaged) << op.damage;
  }
}

TEST(LogTool, GroupsTheRussianLogWithFaultsAndARotation) {
  const std::string link_failure = "Ошибка связи с сервером: ";
  const std::string card = "0012345678";
  const std::vector<Expected> expected = {
      {Kind::CardInfo, 1, card, Outcome::Done, "", 0},
      {Kind::SaleStart, 1, card, Outcome::Done, "", 1},  // ends in the file begun by the rotation
      {Kind::Discount, 1, card, Outcome::Done, "", 0},
      {Kind::CashlessSale, 1, card, Outcome::Done, "", 0},
      {Kind::CashlessSale, 9, card, Outcome::Refused, "Сервер \"Вельтор\" отменил операцию", 0},
      {Kind::CashlessReturn, 1, card, Outcome::Done, "", 0},
      {Kind::SaleCancel, 1, card, Outcome::Done, "", 0},
      {Kind::Discount, 8, "", Outcome::CommunicationFailure, link_failure + "Connection Closed Gracefully.", 0},
      {Kind::Discount, 6, "", Outcome::ChecksumFailure, link_failure + "Неверная контрольная сумма входящего пакета (", 0},
      {Kind::CashlessSale, 5, "", Outcome::ChecksumFailure, link_failure + "Неверная контрольная сумма", 0},
      {Kind::Discount, 7, "", Outcome::TimeOut, "Не удалось получить скидку: TimeOut", 2},  // among the next one's lines
      {Kind::Discount, 4, card, Outcome::Done, "", 1},
      {Kind::CashlessSale, 3, "", Outcome::CommunicationFailure, link_failure + "Socket Error # 10054\r\nConnection reset", 0},
      {Kind::CardInfo, 1, card, Outcome::Done, "", 0},
      {Kind::CardInfo, 2, "", Outcome::CommunicationFailure, link_failure + "Socket Error # 10061\r\nConnection refused.", 0},
      {Kind::Discount, 2, card, Outcome::Done, "", 0},
  };
  const LogText log = ReadFixture();
  EXPECT_TRUE(log.bad.empty());
  const Grouped g = GroupOperations(log.entries);
  ExpectOperations(g, expected);
  // The rotated file is read first, and the day.month.year date and decimal comma are understood.
  EXPECT_TRUE(g.operations[0].start.source.ends_with(".log08.12.2026"));
  EXPECT_TRUE(g.operations[1].steps.back().entry.source.ends_with(".log"));
  EXPECT_EQ(g.operations[0].start.stamp.key / 1000000, 20261208);
  std::ostringstream json;
  PrintJson(json, {&g.operations[1]});
  EXPECT_NE(json.str().find("\"quantity\":1.5,\"sum\":99.99"), std::string::npos) << json.str();
}

TEST(LogTool, FiltersSelectByCardWalletTimeAndFailure) {
  const Grouped g = GroupOperations(ReadFixture().entries);
  struct Case {
    Filter filter;
    std::size_t count;
  } cases[] = {
      {{.card = "12345678"}, 10},
      {{.wallet = 7}, 1},
      {{.failed_only = true}, 7},
      {{.since = StampKey("08.12.2026 17:46:40", false)}, 5},
      {{.until = StampKey("08.12.2026 17:46:39", false)}, 11},
      {{.until = StampKey("07.12.2026", true)}, 0},
      {{.message = "Connection Closed"}, 1},
      {{.message = "Неверная контрольная сумма"}, 2},
      {{.at = 174741}, 6},  // within a minute of the six operations whose lines reach 17:46:41
      {{.at = 174800}, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(std::count_if(g.operations.begin(), g.operations.end(), [&](const Operation& op) { return Passes(op, c.filter); }),
              static_cast<long>(c.count));
}

TEST(LogTool, DatesAndTimesInTheLocalesForms) {
  EXPECT_EQ(DateKey("08.12.2026"), 20261208);
  EXPECT_EQ(DateKey("12/08/26"), 20261208);
  EXPECT_EQ(DateKey("2026-12-08"), 20261208);
  EXPECT_EQ(DateKey("31/12/26"), 20261231);
  EXPECT_EQ(DateKey("08.13.2026"), -1);
  EXPECT_EQ(DateKey("8.12"), -1);
  EXPECT_EQ(TimeKey("17:46:39"), 174639);
  EXPECT_EQ(TimeKey("01:56:07 PM"), 135607);
  EXPECT_EQ(TimeKey("12:00:00 AM"), 0);
  EXPECT_EQ(TimeKey("24:00:00"), -1);
  EXPECT_EQ(StampKey("08.12.2026", true), 20261208235959);
  EXPECT_EQ(StampKey("08.12.2026 17:46", false), 20261208174600);
  EXPECT_EQ(IsoTime(20261209130500), "2026-12-09T13:05:00");
  // The order of a date's numbers, as the log's own dates show it, and as it is then read.
  struct Case {
    const char* date;
    DateOrder shows;
    std::int64_t dmy, mdy;
  } cases[] = {
      {"12/9/2026", DateOrder::Unknown, 20260912, 20261209},
      {"13/12/2026", DateOrder::Dmy, 20261213, -1},
      {"12/13/2026", DateOrder::Mdy, -1, 20261213},
      {"09.12.26", DateOrder::Unknown, 20261209, 20260912},
      {"2026-12-09", DateOrder::Ymd, 20261209, 20261209},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateOrderOf(c.date), c.shows) << c.date;
    EXPECT_EQ(DateKey(c.date, c.shows == DateOrder::Ymd ? DateOrder::Ymd : DateOrder::Dmy), c.dmy) << c.date;
    EXPECT_EQ(DateKey(c.date, c.shows == DateOrder::Ymd ? DateOrder::Ymd : DateOrder::Mdy), c.mdy) << c.date;
  }
}

// A log of a Windows till in the United States locale: CRLF, month first, a twelve-hour clock, decimal
// commas; with the failure lines, a late reply among the next sale's lines, a hang-up, a missing and a
// damaged line (tests/tools/data/make_windows_log.py wrote it).
TEST(LogTool, ReadsALogWrittenUnderWindows) {
  const std::filesystem::path dir = std::filesystem::path(SD_LOG_FIXTURES).parent_path() / "win";
  ASSERT_EQ(FindDateOrder(OrderLogFiles({dir})), DateOrder::Unknown);  // December 9th: either way
  const std::string bytes = testing::TempDrive::Read(dir / u8"Орвелина.log");
  LogText log;
  ReadLog(bytes, "win", log, DateOrder::Mdy);
  EXPECT_EQ(log.bad.size(), 1u);
  const Grouped g = GroupOperations(log.entries);
  const std::string card = "0012345678";
  ExpectOperations(g, {
      {Kind::CardInfo, 1, card, Outcome::Done, "", 0},
      {Kind::Discount, 7, "", Outcome::TimeOut, "Не удалось получить скидку: TimeOut", 3},  // its reply came late
      {Kind::CashlessSale, 1, card, Outcome::Done, "", 0},
      {Kind::Discount, 8, "", Outcome::CommunicationFailure, "Ошибка связи с сервером: Connection Closed Gracefully.", 0},
      {Kind::Discount, 1, card, Outcome::Damaged, "", 0, true},  // its success line is missing
      {Kind::SaleStart, 2, card, Outcome::Done, "", 0},
      {Kind::CashlessSale, 9, card, Outcome::Refused, "Сервер \"Вельтор\" отменил операцию", 0},
      {Kind::CardInfo, 3, "", Outcome::Unfinished, "", 0},
  });
  std::ostringstream json;
  PrintJson(json, {&g.operations[5], &g.operations[7]});
  for (const char* part : {"\"time\":\"2026-12-09T09:32:28\"", "\"quantity\":1.5,\"sum\":99.99", "\"time\":\"2026-12-09T13:05:00\""})
    EXPECT_NE(json.str().find(part), std::string::npos) << part << " in " << json.str();
  EXPECT_EQ(std::count_if(g.operations.begin(), g.operations.end(), [](const Operation& op) { return Passes(op, {.at = 130500}); }), 1);

  // Read as a stream, the operations are handed on as soon as they are settled, not at the end.
  std::size_t handed_on = 0;
  Grouper grouper([&](Operation&&) { ++handed_on; }, [](const Entry&) {});
  for (int copy = 0; copy < 50; ++copy)
    for (const Entry& e : log.entries) grouper.Add(e);
  EXPECT_GE(handed_on, 50u * 8 - 8);
  grouper.Finish();
  EXPECT_EQ(handed_on, 50u * 8);
}

// Every line of the driver's list is told apart by the reader, and the log's documentation names it.
TEST(LogTool, EveryLineOfTheDriversListIsRecognised) {
  const std::filesystem::path doc = std::filesystem::path(SD_LOG_FIXTURES) / "../../../../docs/log-format.md";
  ASSERT_TRUE(std::filesystem::exists(doc)) << doc;
  const std::string documented = testing::TempDrive::Read(doc);
  for (const auto& row : sd::log::kLogLines) {
    std::string text = text::ToUtf8(row.text);
    if (text.ends_with("\r\n")) text.resize(text.size() - 2);
    const auto classified = Classify(text + (row.fields.empty() ? "" : "1"));
    ASSERT_TRUE(classified.has_value()) << row.name;
    EXPECT_EQ(classified->line, row.line) << row.name;
    const std::string trimmed = text.substr(0, text.find_last_not_of(" (:=") + 1);
    EXPECT_NE(documented.find(trimmed), std::string::npos) << row.name << " in docs/log-format.md";
  }
}

// A day's rotated files, begun in the same second as the current one, are read before it in the order
// of their rotation.
TEST(LogTool, ADaysRotatedFilesAreReadInOrder) {
  testing::TempDrive drive;
  const std::filesystem::path dir = drive.root();
  const char* names[] = {"Орвелина.log", "Орвелина.log09.12.2026.1", "Орвелина.log09.12.2026.2", "Орвелина.log09.12.2026"};
  for (const char* name : names) {
    std::ofstream(dir / std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name)))) << "09.12.2026 10:00:00 - x\r\n";
  }
  std::vector<std::string> order;
  for (const auto& file : OrderLogFiles({dir})) order.push_back(Utf8Name(file.filename()));
  EXPECT_EQ(order, (std::vector<std::string>{names[3], names[1], names[2], names[0]}));
}

// A reply with a right checksum and terminator around the given bytes, as a dump.
std::string Reply(std::vector<std::uint8_t> bytes) {
  const std::uint16_t crc = exchange::Crc16(bytes);
  bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
  bytes.push_back(0xC0);
  return exchange::HexDump(exchange::EscapeBytes(bytes));
}

TEST(LogTool, FramesAreDecodedOrShownRawWithTheReason) {
  struct Case {
    std::string dump;
    bool request;
    std::string description;  // its beginning
  } cases[] = {
      {"01 03 00 00 00 00 01 00 00 00 01 00 00 03 E8 B2 52 C0 ", true,
       "request type 3, counter 0, wallet 1, quantity 0.001, unit price 10.00, sum 0.01, checksum ok"},
      {"01 03 00 00 00 D0 C1 01 00 00 00 01 00 00 03 E8 B7 6E C0 ", true, "request type 3, counter 192, wallet 1,"},
      {"01 02 00 00 00 05 01 00 00 03 E8 12 34 56 78 90 ED 0F C0 ", true,
       "request type 2, counter 5, wallet 1, quantity 1, card 1234567890, checksum ok"},
      {"01 02 00 00 00 05 01 00 00 03 E8 12 34 56 78 90 ED 0E C0 ", true,
       "request type 2, counter 5, wallet 1, quantity 1, card 1234567890, checksum WRONG (computed 4077, carried 3821)"},
      {exchange::HexDump(std::vector<std::uint8_t>(50, 0)), true, "request not decoded: no terminator C0 at its end: 00 00"},
      {"01 03 00 00 00 00 01 00", true, "request not decoded: no terminator C0 at its end"},
      {"01 03 00 00 00 00 01 00 00 00 01 00 00 03 E8 B2 C0 ", true, "request not decoded: a type 3 request is 17 bytes long, this one 16"},
      {"01 03 0Z 00", true, "request not decoded: not a hex dump at \"0Z 00\""},
      {"01 01 00 00 00 07 01 00 00 00 01 00 00 25 1C 32 12 34 56 78 90 DE 6E C0 ", false,
       "reply type 1, card 1234567890, discount 5%, discounted price 95.00, approved (1), checksum ok"},
      {Reply({1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x12, 0x8E, 0xFF, 0, 0, 0, 0, 7}), false,
       "reply type 1, card 0000000007, discount 25.5%, discounted price 47.50, not approved (0), checksum ok"},
      {Reply({1, 2, 0xC0, 0xD0}), false, "reply type 2, no fields, checksum ok"},
      {Reply({1, 3, 0, 0}), false, "reply type 3, 7 bytes: too short for the fields of its type (21 needed), checksum ok"},
      {"47 41 ", false, "reply not decoded: 2 bytes: too short to carry a checksum: 47 41"},
      {"41 41 ... (32768 байт)", false, "reply not decoded: the log keeps only its first 2 bytes (32768 байт): 41 41"},
  };
  for (const Case& c : cases) EXPECT_TRUE(Describe(DecodeDump(c.dump, c.request)).starts_with(c.description))
      << Describe(DecodeDump(c.dump, c.request)) << "\n  wanted: " << c.description;
}

TEST(LogTool, ADamagedLogIsReadToItsEndWithTheBadLinesReported) {
  const std::string log = CurrentFixtureFile();
  // Every cut of the log reads without a crash; a cut inside a line reports that line alone.
  for (std::size_t size = 0; size <= log.size(); size += 7) {
    LogText text;
    ReadLog(std::string_view(log).substr(0, size), "cut", text);
    GroupOperations(text.entries);
    const bool at_line_end = size == 0 || log[size - 1] == '\n';
    ASSERT_EQ(text.bad.size(), at_line_end ? 0u : 1u) << "cut at " << size;
  }
  struct Case {
    std::string name, find, replace;
    std::size_t bad_lines;
  } cases[] = {
      {"binary bytes in a line", std::string("[СВЯЗЬ] Отключение"_w), std::string("\0\x01\x02", 3), 1},
      {"a line without its stamp", "08.12.2026 17:46:41 - [", "[", 1},
      {"a date that is no date", "08.12.2026 17:46:40 - " + std::string("Запрос"_w), "08.1?.2026 17:46:40 - ", 1},
      {"a dump with junk in it", std::string("данные:01 03"_w), std::string("данные:01 0X"_w), 0},
  };
  const std::size_t operations = GroupOperations([&] { LogText t; ReadLog(log, "whole", t); return t.entries; }()).operations.size();
  for (const Case& c : cases) {
    std::string damaged = log;
    damaged.replace(damaged.find(c.find), c.find.size(), c.replace);
    LogText text;
    ReadLog(damaged, "damaged", text);
    const Grouped g = GroupOperations(text.entries);
    EXPECT_EQ(text.bad.size(), c.bad_lines) << c.name;
    EXPECT_GE(g.operations.size(), operations - 1) << c.name;
  }
}

// The done-when check of the tool: the demo's sale through the real library, then smartdriver-log.
TEST(LogTool, SummaryOfTheDemoSaleShowsItsNineOperations) {
  testing::TempDrive drive;
  testing::EmulatorProcess emulator(drive.root(), "wallet 9 approval=0\nwallet 8 fault=close\nwallet 7 fault=silent\n",
                                    {"--price", "4750"});
  ASSERT_TRUE(emulator.Ready());
  drive.WriteSettings(emulator.SettingsText(500));
  drive.MakeLogDir();
  // The C locale's month/day/year dates; drive C only through the option.
  const std::map<std::string, std::string> env{{"SMARTDRIVER_DRIVE_C", ""}, {"LC_ALL", "C"}};
  const std::string sale =
      "card-info 1\ndiscount - 1 2 100 \"Покупатель 1\"\ndiscount M 1 2 100\ncashless-sale 1 3 150\n"
      "cashless-sale 9 1 50\ncashless-return 0012345678 1 1 50\ndiscount + 1 2 100\ndiscount M 8 1 10\n"
      "discount M 7 1 10\n";
  const auto host = testing::RunProgram(testing::BuiltProgram("smartdriver-host"),
                                        {"--drive-c", drive.root().string(), "--lib", SD_TEST_LIBRARY, "run", "-"},
                                        env, sale);
  EXPECT_EQ(host.exit_code, 1) << host.out << host.err;

  const std::string log_tool = testing::BuiltProgram("smartdriver-log");
  const auto summary = testing::RunProgram(log_tool, {"--summary", drive.LogDir().string()}, env);
  EXPECT_EQ(summary.exit_code, 0);
  EXPECT_EQ(summary.err, "");
  for (const char* line : {"9 operations\n", "  done              6\n", "  refused           1\n",
                           "  time-out          1\n", "  comm-failure      1\n",
                           "  1  Ошибка связи с сервером: Connection Closed Gracefully.\n", "bad lines: 0\n"})
    EXPECT_NE(summary.out.find(line), std::string::npos) << line << "\nin:\n" << summary.out;
  const auto failed = testing::RunProgram(log_tool, {"--json", "--failed", "--wallet", "7", "-"}, env, drive.Log());
  EXPECT_EQ(std::count(failed.out.begin(), failed.out.end(), '\n'), 1) << failed.out;
  EXPECT_NE(failed.out.find("\"outcome\":\"time-out\""), std::string::npos) << failed.out;
}

}  // namespace
}  // namespace sd::logtool
