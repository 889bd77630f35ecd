// The platform's contract, call by call: one row for every call of every table, run against the system's
// own table on each platform (natively and under Wine). A new platform's facility is checked here first,
// and a call that a table gains without a row here fails the test that compares the rows with the lists.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/process.h"
#include "platform/sockets.h"
#include "platform/thread.h"
#include "support/child_process.h"
#include "support/temp_drive.h"

namespace sd::platform {
namespace {

namespace fs = std::filesystem;

struct Row {
  std::string_view call;
  std::function<void()> check;
};

#define SD_CALL_NAME(result, name, function, parameters) #name,
std::set<std::string_view> Names(std::initializer_list<std::string_view> list) { return list; }
std::set<std::string_view> Names(const std::vector<Row>& rows) {
  std::set<std::string_view> names;
  for (const Row& row : rows) names.insert(row.call);
  return names;
}

void RunRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.call));
    row.check();
  }
}

const SocketAddress kLoopback{kAddressFamilyInet, {127, 0, 0, 1}, 0};

// One connection on the loopback, made and used by the socket rows in their order.
struct Loopback {
  SocketHandle listener = kNoSocket, client = kNoSocket, server = kNoSocket;
  SocketAddress bound{};
};

std::vector<Row> SocketRows(const SocketOps& s, Loopback& l) {
  return {
      {"load_library", [&] { std::uint32_t code = 0; std::string text; EXPECT_TRUE(s.load_library(&code, &text)) << text; }},
      {"startup", [&] { EXPECT_EQ(s.startup(0x0202), 0); }},
      {"call_before_load", [&] { std::string f, t; EXPECT_FALSE(s.call_before_load(&f, &t)); }},
      {"open_listener", [&] { l.listener = s.open_listener(kLoopback, 4); ASSERT_NE(l.listener, kNoSocket); }},
      {"getsockname", [&] { ASSERT_EQ(s.getsockname(l.listener, &l.bound), 0); EXPECT_NE(l.bound.port, 0); }},
      {"socket", [&] { l.client = s.socket(kAddressFamilyInet, kSocketStream, 0); ASSERT_NE(l.client, kNoSocket); }},
      {"setsockopt", [&] { const int on = 1; EXPECT_EQ(s.setsockopt(l.client, kLevelTcp, kTcpNoDelay, &on, sizeof on), 0); }},
      {"connect_within", [&] { EXPECT_EQ(s.connect_within(l.client, l.bound, 5000), 0); }},
      {"accept", [&] { SocketAddress peer{}; l.server = s.accept(l.listener, &peer); ASSERT_NE(l.server, kNoSocket); EXPECT_EQ(peer.address, kLoopback.address); }},
      {"getpeername", [&] { SocketAddress peer{}; EXPECT_EQ(s.getpeername(l.client, &peer), 0); EXPECT_EQ(peer.port, l.bound.port); }},
      {"send", [&] { EXPECT_EQ(s.send(l.client, "ping", 4), 4); }},
      {"select", [&] { HandleSet set{1, {l.server}}; const WaitLimit limit{5, 0}; EXPECT_EQ(s.select(&set, &limit), 1); }},
      {"recv", [&] { char got[8] = {}; EXPECT_EQ(s.recv(l.server, got, sizeof got), 4); EXPECT_EQ(std::string(got), "ping"); }},
      {"shutdown", [&] { EXPECT_EQ(s.shutdown(l.client, kShutdownSend), 0); char got[1]; EXPECT_EQ(s.recv(l.server, got, 1), 0); }},
      {"closesocket", [&] { for (SocketHandle h : {l.client, l.server, l.listener}) EXPECT_EQ(s.closesocket(h), 0); }},
      {"last_error", [&] { EXPECT_EQ(s.send(l.client, "x", 1), -1); EXPECT_NE(s.last_error(), 0); }},
      {"bind", [&] {
         const SocketHandle h = s.socket(kAddressFamilyInet, kSocketStream, 0);
         EXPECT_EQ(s.bind(h, kLoopback), 0);
         EXPECT_EQ(s.listen(h, 1), 0);
         SocketAddress at{};
         s.getsockname(h, &at);
         // A port that a socket listens on is never taken again.
         EXPECT_EQ(s.open_listener(at, 1), kNoSocket);
         s.closesocket(h);
       }},
      // Winsock refuses to listen on a socket that is not bound; every caller binds first.
      {"listen", [&] {
         const SocketHandle h = s.socket(kAddressFamilyInet, kSocketStream, 0);
         ASSERT_EQ(s.bind(h, kLoopback), 0);
         EXPECT_EQ(s.listen(h, 1), 0);
         s.closesocket(h);
       }},
      {"connect", [&] {
         // Nothing listens on the port that was just let go.
         const SocketHandle h = s.socket(kAddressFamilyInet, kSocketStream, 0);
         EXPECT_EQ(s.connect(h, l.bound), -1);
         s.closesocket(h);
       }},
      {"lookup_ipv4", [&] { std::array<std::uint8_t, 4> a{}; EXPECT_EQ(s.lookup_ipv4("localhost", &a), 0); EXPECT_EQ(a[0], 127); }},
      {"lookup_ipv4_within", [&] { std::array<std::uint8_t, 4> a{}; EXPECT_EQ(s.lookup_ipv4_within("127.1", &a, 5000), 0); EXPECT_EQ(a, kLoopback.address); }},
      {"gethostname", [&] { char name[256] = {}; EXPECT_EQ(s.gethostname(name, sizeof name), 0); EXPECT_NE(name[0], '\0'); }},
      {"cleanup", [&] { s.cleanup(); }},
  };
}

TEST(PlatformContract, EveryCallOfEveryTableHasARow) {
  // The copy of this program that the process rows end at once: it only sleeps.
  if (sd::testing::InChild()) return std::this_thread::sleep_for(std::chrono::seconds(30));
  const FileOps& f = SystemFiles();
  const ThreadOps& t = SystemThreads();
  const ClockOps& c = SystemClock();
  const ModuleOps& m = SystemModules();
  sd::testing::TempDrive dir;
  const std::string a = (dir.root() / "a").string(), b = (dir.root() / "b").string();
  std::int64_t size = -1;
  std::string text;
  const std::vector<Row> files = {
      {"exists", [&] { EXPECT_FALSE(f.exists(a)); }},
      {"append", [&] { EXPECT_EQ(f.append(a, "abc", &size), 0); EXPECT_EQ(size, 3); }},
      {"size", [&] { EXPECT_EQ(f.size(a, &size), 0); EXPECT_EQ(size, 3); EXPECT_EQ(f.size(b, &size), 2); }},
      {"replace_all", [&] { EXPECT_EQ(f.replace_all(b, "old"), 0); }},
      {"move_replacing", [&] { EXPECT_TRUE(f.move_replacing(a, b)); EXPECT_FALSE(f.exists(a)); }},
      {"read_all", [&] { EXPECT_EQ(f.read_all(b, &text), 0); EXPECT_EQ(text, "abc"); EXPECT_EQ(f.read_all(a, &text), 2); }},
  };
  std::atomic<int> ran{0};
  ThreadHandle joined = nullptr;
  const std::vector<Row> threads = {
      {"start", [&] { joined = t.start([](void* n) { ++*static_cast<std::atomic<int>*>(n); }, &ran); ASSERT_NE(joined, nullptr); }},
      {"join", [&] { t.join(joined); EXPECT_EQ(ran, 1); }},
      {"has_finished", [&] {
         ThreadHandle h = t.start([](void*) {}, nullptr);
         while (!t.has_finished(h)) std::this_thread::yield();
         t.join(h);
       }},
      {"try_join", [&] {
         ThreadHandle h = t.start([](void*) {}, nullptr);
         while (!t.try_join(h)) std::this_thread::yield();
       }},
      {"detach", [&] {
         t.detach(t.start([](void* n) { ++*static_cast<std::atomic<int>*>(n); }, &ran));
         while (ran != 2) std::this_thread::yield();
       }},
  };
  const std::vector<Row> clock = {
      {"now_as_date", [&] { EXPECT_GT(c.now_as_date(), 46000.0); }},  // December 2025 or later
      {"short_date_text", [&] { EXPECT_FALSE(c.short_date_text().empty()); }},
      {"long_time_text", [&] { EXPECT_FALSE(c.long_time_text().empty()); }},
      {"decimal_separator", [&] { EXPECT_NE(c.decimal_separator(), '\0'); }},
  };
  const std::string missing = (dir.root() / SharedLibraryFileName("missing")).string();
  const std::vector<Row> modules = {
      {"load", [&] { std::string why; EXPECT_EQ(m.load(missing, &why), nullptr); EXPECT_FALSE(why.empty()); }},
      {"find_symbol", [&] { EXPECT_EQ(m.find_symbol(nullptr, "GeTDriver"), nullptr); }},
      {"unload", [&] { m.unload(nullptr); }},
      {"is_loaded", [&] { EXPECT_FALSE(m.is_loaded(missing)); }},
      {"executable_path", [&] { EXPECT_TRUE(fs::exists(m.executable_path())); }},
  };
  const ProcessOps& p = SystemProcesses();
  const std::string self = m.executable_path();
  ProcessHandle child = kNoProcess;
  ChildPipes pipes;
  int code = -2;
  const auto read_to_end = [&](PipeHandle pipe) {
    std::string text;
    char buffer[256];
    for (long n; (n = p.read_pipe(pipe, buffer, sizeof buffer)) != 0;)
      if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    return text;
  };
  const ProcessSpec sleeper{self, {"--gtest_filter=PlatformContract.*"}, {{sd::testing::kChildPieceVariable, "sleep"}}, ""};
  const std::vector<Row> processes = {
      {"spawn", [&] {
         std::string why;
         EXPECT_FALSE(p.spawn({missing, {}, {}, ""}, &child, &pipes, &why));
         EXPECT_FALSE(why.empty());
         ASSERT_TRUE(p.spawn({self, {"--gtest_list_tests", "--gtest_filter=PlatformContract.*"}, {}, ""}, &child, &pipes, &why)) << why;
       }},
      {"read_pipe", [&] { EXPECT_NE(read_to_end(pipes.output).find("EveryCallOfEveryTableHasARow"), std::string::npos); }},
      {"wait_exit", [&] { EXPECT_TRUE(p.wait_exit(child, std::chrono::seconds(30), &code)); EXPECT_EQ(code, 0); }},
      // The child has ended, and with it the only reader of its input.
      {"write_pipe", [&] { EXPECT_EQ(p.write_pipe(pipes.input, "x", 1), -1); }},
      {"close_pipe", [&] { for (PipeHandle h : {pipes.input, pipes.output, pipes.errors}) p.close_pipe(h); }},
      {"kill", [&] {
         std::string why;
         ASSERT_TRUE(p.spawn(sleeper, &child, &pipes, &why)) << why;
         const auto started = std::chrono::steady_clock::now();
         p.kill(child);
         read_to_end(pipes.output);
         EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
         for (PipeHandle h : {pipes.input, pipes.output, pipes.errors}) p.close_pipe(h);
       }},
      // Whether a child heeds the request is its own affair (this one only sleeps); the emulator's tests
      // see one stop when asked.
      {"stop", [&] {
         std::string why;
         ASSERT_TRUE(p.spawn(sleeper, &child, &pipes, &why)) << why;
         p.stop(child);
         p.kill(child);
         for (PipeHandle h : {pipes.input, pipes.output, pipes.errors}) p.close_pipe(h);
       }},
  };
  Loopback loopback;
  const std::vector<Row> sockets = SocketRows(SystemSockets(), loopback);

  EXPECT_EQ(Names(files), Names({SD_FILE_CALLS(SD_CALL_NAME)}));
  EXPECT_EQ(Names(threads), Names({SD_THREAD_CALLS(SD_CALL_NAME)}));
  EXPECT_EQ(Names(clock), Names({SD_CLOCK_CALLS(SD_CALL_NAME)}));
  EXPECT_EQ(Names(modules), Names({SD_MODULE_CALLS(SD_CALL_NAME)}));
  EXPECT_EQ(Names(sockets), Names({SD_SOCKET_CALLS(SD_CALL_NAME)}));
  EXPECT_EQ(Names(processes), Names({SD_PROCESS_CALLS(SD_CALL_NAME)}));
  for (const auto* rows : {&files, &threads, &clock, &modules, &sockets, &processes}) RunRows(*rows);
}

}  // namespace
}  // namespace sd::platform
