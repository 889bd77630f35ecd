// One discount request end to end through the driver's entry against the server emulator on loopback,
// with the log on and off, beside a bare exchange of the same shape: a new thread that connects, sends
// 18 bytes, reads the reply and closes. Prints the medians and the ratios to the bare exchange.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/entry_table.h"
#include "exchange/codec.h"
#include "exchange/exchange_module.h"
#include "log/operation_log.h"
#include "platform/paths.h"
#include "platform/sockets.h"
#include "settings/link_settings.h"
#include "tools/emulator/emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// The server emulator with its default answer and nothing printed; both kinds of exchange pay its cost.
sd::emulator::Emulator* g_server = nullptr;
std::map<std::string, std::vector<double>> g_samples;  // microseconds per run

void Record(const std::string& name, Clock::time_point start) {
  g_samples[name].push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
}

void BareOnce() {
  namespace platform = sd::platform;
  static const sd::exchange::Bytes frame = [] {
    sd::exchange::Bytes f;
    std::int32_t counter = 0;
    sd::exchange::BuildRequest(sd::exchange::PacketType::kDiscount, 1, 1000, 10000, counter, f);
    return f;
  }();
  const int port = g_server->DiscountPort();
  {
    std::thread([&] {
      const auto& ops = platform::Sockets();
      const platform::SocketHandle socket = ops.socket(platform::kAddressFamilyInet, platform::kSocketStream, 0);
      const int one = 1;
      ops.setsockopt(socket, platform::kLevelTcp, platform::kTcpNoDelay, &one, sizeof one);
      platform::SocketAddress address;
      address.address = {127, 0, 0, 1};
      address.port = static_cast<std::uint16_t>(port);
      if (ops.connect(socket, address) != 0) std::abort();
      ops.send(socket, frame.data(), static_cast<int>(frame.size()));
      std::uint8_t reply[256];
      if (ops.recv(socket, reply, sizeof reply) <= 0) std::abort();
      ops.shutdown(socket, platform::kShutdownSend);
      ops.closesocket(socket);
    }).join();
  }
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

void BareExchange(benchmark::State& state) {
  for (auto _ : state) BareOnce();
}

void DiscountRequest(benchmark::State& state, bool log_on) {
  for (auto _ : state) DiscountOnce(log_on);
  sd::exchange::WaitForExchangeThreads(std::chrono::seconds(5));
}

// The three kinds in turns of a few calls each, so that whatever the machine does meanwhile falls on all
// of them alike; each call is timed on its own.
void Interleaved(int rounds, int calls) {
  for (int r = 0; r < rounds; ++r) {
    for (int i = 0; i < calls; ++i) {
      const auto start = Clock::now();
      BareOnce();
      Record("bare exchange", start);
    }
    for (bool log_on : {false, true}) {
      for (int i = 0; i < calls; ++i) {
        const auto start = Clock::now();
        DiscountOnce(log_on);
        Record(log_on ? "discount request, log on" : "discount request, log off", start);
      }
      sd::exchange::WaitForExchangeThreads(std::chrono::seconds(5));
    }
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

BENCHMARK(BareExchange)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(DiscountRequest, log_off, false)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(DiscountRequest, log_on, true)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv) {
  std::filesystem::path drive;
  std::random_device random;
  do {
    drive = std::filesystem::temp_directory_path() / ("sd-bench-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(drive));
  std::filesystem::create_directories(drive / "ZEMO" / "LogFiles");
  sd::platform::SetDriveCRoot(drive.string());
  sd::exchange::StartExchangeModule();
  sd::log::BindLogSwitch(&sd::settings::LinkSettings.bEnableLog);
  sd::emulator::Emulator server;
  g_server = &server;

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Interleaved(40, 25);

  const double bare = Median(g_samples["bare exchange"]);
  std::printf("\nmedians of 1000 calls each, taken in turns (microseconds), and ratios to the bare exchange:\n");
  for (const char* name : {"bare exchange", "discount request, log off", "discount request, log on"}) {
    const double m = Median(g_samples[name]);
    std::printf("  %-28s %9.1f us  %5.2f x\n", name, m, bare > 0 ? m / bare : 0);
  }
  std::printf("goals: log off at most 1.30 x, log on at most 2.00 x\n");
  std::filesystem::remove_all(drive);
  return 0;
}
