// One discount request end to end through the driver's entry against the server emulator on loopback,
// with the log on and off, beside what such a request cannot do without: a bare exchange (a new thread
// that connects, sends 18 bytes, reads the reply and closes), and the floor of the driver's own contract
// (the same exchange with every call the transport makes, and with the log on, the open-append-size-close
// of the same ten lines). The floor is timed twice: with its thread joined before the call returns, and
// with the hand-over that the driver's exchange must keep, where the thread signals the waiting call as
// soon as the reply is read and disconnects while the call goes on. All seven are timed call by call in
// turns; the medians, 90th and 99th percentiles and the ratios to the bare exchange are printed. Nothing
// here fails on a time.
//
//   exchange_bench [--rounds N] [Google Benchmark flags]
//   --rounds N  turns of the interleaved run (25 calls of each kind a turn; default 80, 0: none)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/entry_table.h"
#include "exchange/codec.h"
#include "exchange/exchange_module.h"
#include "log/operation_log.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/sockets.h"
#include "settings/link_settings.h"
#include "tools/emulator/emulator.h"

namespace {

namespace platform = sd::platform;
using Clock = std::chrono::steady_clock;

// The server emulator with its default answer and nothing printed; every kind pays its cost alike.
sd::emulator::Emulator* g_server = nullptr;

const sd::exchange::Bytes& Frame() {
  static const sd::exchange::Bytes frame = [] {
    sd::exchange::Bytes f;
    std::int32_t counter = 0;
    sd::exchange::BuildRequest(sd::exchange::PacketType::kDiscount, 1, 1000, 10000, counter, f);
    return f;
  }();
  return frame;
}

platform::SocketAddress Server() {
  platform::SocketAddress address;
  address.address = {127, 0, 0, 1};
  address.port = static_cast<std::uint16_t>(g_server->DiscountPort());
  return address;
}

void BareOnce() {
  std::thread([] {
    const auto& ops = platform::Sockets();
    const platform::SocketHandle socket = ops.socket(platform::kAddressFamilyInet, platform::kSocketStream, 0);
    const int one = 1;
    ops.setsockopt(socket, platform::kLevelTcp, platform::kTcpNoDelay, &one, sizeof one);
    if (ops.connect(socket, Server()) != 0) std::abort();
    ops.send(socket, Frame().data(), static_cast<int>(Frame().size()));
    std::uint8_t reply[256];
    if (ops.recv(socket, reply, sizeof reply) <= 0) std::abort();
    ops.shutdown(socket, platform::kShutdownSend);
    ops.closesocket(socket);
  }).join();
}

// The ten lines that one discount request with the log on appends, byte for byte, as the driver's own
// request appended them (taken from the file services while it ran), and the native log path.
struct FloorLog {
  std::vector<std::string> lines;
  std::string path;
  void Append(std::size_t line) const {
    // The log's own lock: with the hand-over, the thread's last line and the call's meet here.
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    std::int64_t size = 0;
    if (platform::Files().append(path, lines[line], &size) != 0) std::abort();
    if (size > sd::log::kRotateAbove) platform::Files().move_replacing(path, path + ".floor");
  }
};
FloorLog g_floor_log;

// The hand-over of the floor that keeps the driver's order: the thread signals once the reply is read and
// then disconnects; the call waits for the signal, and the thread of the call before is joined once the
// next one has started, as the driver joins its ended exchange threads.
struct HandOver {
  std::mutex lock;
  std::condition_variable signalled;
  bool done = false;
  std::thread previous;
  void Signal() {
    {
      std::lock_guard<std::mutex> hold(lock);
      done = true;
    }
    signalled.notify_all();
  }
  void Finish() {
    if (previous.joinable()) previous.join();
  }
  void Wait(std::thread started) {
    Finish();
    std::unique_lock<std::mutex> hold(lock);
    signalled.wait(hold, [this] { return done; });
    done = false;
    previous = std::move(started);
  }
  ~HandOver() { Finish(); }
};
HandOver g_hand_over;

// The floor: the exchange with every call that the transport makes for it (the socket stack's host
// name; the bind to port 0 and its read-back; the no-delay option; the connect with a time limit; both
// endpoints read back; the poll before sending, the wait before reading and the drain at the close), on
// a thread of its own that is joined, or with `hand_over`, that signals the call before it disconnects.
// With `log`, the ten lines go where the driver writes them: two before the exchange, seven during it,
// the disconnect line after it, and the success line at the end.
void FloorOnce(const FloorLog* log, bool hand_over = false) {
  if (log != nullptr) {
    log->Append(0);
    log->Append(1);
  }
  std::thread exchange([log, hand_over] {
    const auto& ops = platform::Sockets();
    const auto line = [log](std::size_t n) {
      if (log != nullptr) log->Append(n);
    };
    char host_name[250];
    ops.gethostname(host_name, sizeof host_name);
    line(2);
    const platform::SocketHandle socket = ops.socket(platform::kAddressFamilyInet, platform::kSocketStream, 0);
    platform::SocketAddress local, peer;
    if (ops.bind(socket, local) != 0) std::abort();
    ops.getsockname(socket, &local);
    const int zero = 0;
    ops.setsockopt(socket, platform::kLevelTcp, platform::kTcpNoDelay, &zero, sizeof zero);
    if (ops.connect_within(socket, Server(), 5000) != 0) std::abort();
    ops.getsockname(socket, &local);
    ops.getpeername(socket, &peer);
    platform::HandleSet set;
    set.count = 1;
    set.handles[0] = socket;
    const platform::WaitLimit now{}, limit{5, 0};
    platform::HandleSet copy = set;
    ops.select(&copy, &now);
    line(3);
    ops.send(socket, Frame().data(), static_cast<int>(Frame().size()));
    line(4);
    line(5);
    copy = set;
    ops.select(&copy, &limit);
    // The transport's receive buffer; the floor's calls run one at a time, so one serves them all.
    static std::array<std::uint8_t, 32768> reply;
    if (ops.recv(socket, reply.data(), static_cast<int>(reply.size())) <= 0) std::abort();
    line(6);
    line(7);
    if (hand_over) g_hand_over.Signal();
    copy = set;
    if (ops.select(&copy, &now) > 0) ops.recv(socket, reply.data(), static_cast<int>(reply.size()));
    ops.shutdown(socket, platform::kShutdownSend);
    ops.closesocket(socket);
    line(8);
  });
  if (hand_over) {
    g_hand_over.Wait(std::move(exchange));
  } else {
    exchange.join();
  }
  if (log != nullptr) log->Append(9);
}

void DiscountOnce(bool log_on) {
  auto& s = sd::settings::LinkSettings;
  s.IP = "127.0.0.1";
  s.Port = g_server->DiscountPort();
  s.bWaitTimeOut = 5000;
  s.bEnableLog = log_on;
  static sd::TSmartDriver* driver = sd::driver::NewDriver();
  sd::DiscountResult result{};
  sd::EntryOf<sd::entry::DiscountOperation>(driver, sd::kDiscountOperation)(&result, driver, 'M', 1, 1, 100, nullptr,
                                                                            nullptr, nullptr);
}

// Runs one discount request with the log on through file services that keep every line it appends, and
// which thread appended it: the operation's lines come first and last, the exchange thread's between.
FloorLog CaptureLogLines() {
  struct Appended {
    bool by_operation;
    std::string bytes;
  };
  static std::vector<Appended>* captured = nullptr;
  static std::string path;
  static std::thread::id operation;
  std::vector<Appended> appended;
  captured = &appended;
  operation = std::this_thread::get_id();
  static const platform::FileOps recording = [] {
    platform::FileOps ops = platform::SystemFiles();
    ops.append = [](const std::string& native_path, std::string_view bytes, std::int64_t* size_after) {
      captured->push_back({std::this_thread::get_id() == operation, std::string(bytes)});
      path = native_path;
      return platform::SystemFiles().append(native_path, bytes, size_after);
    };
    return ops;
  }();
  platform::SetFiles(&recording);
  DiscountOnce(true);
  sd::exchange::WaitForExchangeThreads(std::chrono::seconds(5));
  platform::SetFiles(nullptr);
  // The success line may have come before the disconnect line; the floor writes it last.
  std::stable_partition(appended.begin() + std::min<std::size_t>(2, appended.size()), appended.end(),
                        [](const Appended& a) { return !a.by_operation; });
  FloorLog log{{}, path};
  for (Appended& a : appended) log.lines.push_back(std::move(a.bytes));
  if (log.lines.size() != 10) {
    std::fprintf(stderr, "exchange_bench: a discount request appended %zu log lines, not 10\n", log.lines.size());
    std::exit(1);
  }
  return log;
}

void BareExchange(benchmark::State& state) {
  for (auto _ : state) BareOnce();
}

void ContractFloor(benchmark::State& state, bool log_on) {
  for (auto _ : state) FloorOnce(log_on ? &g_floor_log : nullptr);
}

void DiscountRequest(benchmark::State& state, bool log_on) {
  for (auto _ : state) DiscountOnce(log_on);
  sd::exchange::WaitForExchangeThreads(std::chrono::seconds(5));
}

enum Kind { kBare, kFloorOff, kHandOverOff, kDiscountOff, kFloorOn, kHandOverOn, kDiscountOn, kKinds };
const char* const kNames[kKinds] = {"bare exchange",
                                    "floor, log off",
                                    "floor handing over, log off",
                                    "discount request, log off",
                                    "floor, log on",
                                    "floor handing over, log on",
                                    "discount request, log on"};

// The kinds in turns of a few calls each, so that whatever the machine does meanwhile falls on all of
// them alike; each call is timed on its own. The threads that a discount request leaves behind end
// before the next kind's turn.
void Interleaved(int rounds, int calls, std::vector<double> (&samples)[kKinds]) {
  for (int r = 0; r < rounds; ++r) {
    for (int kind = 0; kind < kKinds; ++kind) {
      for (int i = 0; i < calls; ++i) {
        const auto start = Clock::now();
        switch (kind) {
          case kBare: BareOnce(); break;
          case kFloorOff: FloorOnce(nullptr); break;
          case kHandOverOff: FloorOnce(nullptr, true); break;
          case kDiscountOff: DiscountOnce(false); break;
          case kFloorOn: FloorOnce(&g_floor_log); break;
          case kHandOverOn: FloorOnce(&g_floor_log, true); break;
          case kDiscountOn: DiscountOnce(true); break;
        }
        samples[kind].push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      }
      if (kind == kDiscountOff || kind == kDiscountOn) sd::exchange::WaitForExchangeThreads(std::chrono::seconds(5));
      if (kind == kHandOverOff || kind == kHandOverOn) g_hand_over.Finish();
    }
  }
}

// The value below which the given share of the samples lies.
double Percentile(std::vector<double> v, double share) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(share * static_cast<double>(v.size())))];
}

}  // namespace

BENCHMARK(BareExchange)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(ContractFloor, log_off, false)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(ContractFloor, log_on, true)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(DiscountRequest, log_off, false)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(DiscountRequest, log_on, true)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv) {
  int rounds = 80;
  constexpr int kCalls = 25;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;

  std::filesystem::path drive;
  std::random_device random;
  do {
    drive = std::filesystem::temp_directory_path() / ("sd-bench-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(drive));
  std::filesystem::create_directories(drive / "ZEMO" / "LogFiles");
  platform::SetDriveCRoot(drive.string());
  sd::exchange::StartExchangeModule();
  sd::log::BindLogSwitch(&sd::settings::LinkSettings.bEnableLog);
  sd::emulator::Emulator server;
  g_server = &server;
  g_floor_log = CaptureLogLines();

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  if (rounds > 0) {
    std::vector<double> samples[kKinds];
    Interleaved(rounds, kCalls, samples);
    const double bare = Percentile(samples[kBare], 0.5);
    const double bare_p99 = Percentile(samples[kBare], 0.99);
    std::printf("\n%d calls of each kind, taken in turns (microseconds), and the medians' ratios to the bare "
                "exchange:\n",
                rounds * kCalls);
    std::printf("  %-30s %9s %9s %9s\n", "", "median", "p90", "p99");
    double median[kKinds];
    for (int kind = 0; kind < kKinds; ++kind) {
      median[kind] = Percentile(samples[kind], 0.5);
      std::printf("  %-30s %9.1f %9.1f %9.1f  %5.2f x\n", kNames[kind], median[kind],
                  Percentile(samples[kind], 0.9), Percentile(samples[kind], 0.99), median[kind] / bare);
    }
    std::printf("goals: log off at most 1.12 x, log on at most 1.40 x, p99 log on at most 1.50 x the bare p99\n");
    std::printf("floor handing over: log off %.2f x, log on %.2f x\n", median[kHandOverOff] / bare,
                median[kHandOverOn] / bare);
    std::printf("ratios: log off %.2f x (floor %.2f x), log on %.2f x (floor %.2f x), p99 log on %.2f x\n",
                median[kDiscountOff] / bare, median[kFloorOff] / bare, median[kDiscountOn] / bare,
                median[kFloorOn] / bare, Percentile(samples[kDiscountOn], 0.99) / bare_p99);
  }
  std::filesystem::remove_all(drive);
  return 0;
}
