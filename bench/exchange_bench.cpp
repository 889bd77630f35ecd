// One discount request end to end through the driver's entry against a server on loopback, with the log
// on and off, beside a bare exchange of the same shape: a new thread that connects, sends 18 bytes, reads
// the reply and closes. Prints the medians and the ratios to the bare exchange.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "driver/entry_table.h"
#include "exchange/codec.h"
#include "exchange/exchange_module.h"
#include "log/operation_log.h"
#include "settings/link_settings.h"

namespace {

using Clock = std::chrono::steady_clock;

// A server of the lightest kind, so that the figures show the client's cost: one thread that accepts,
// reads up to the terminator, answers a fixed type 3 reply and closes.
class FixedReplyServer {
 public:
  FixedReplyServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 64) != 0) std::abort();
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    sd::exchange::Bytes message = {1, 3, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0x25, 0x1C, 0x32, 0x00, 0x12, 0x34, 0x56, 0x78};
    const std::uint16_t crc = sd::exchange::Crc16(message);
    message.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    message.push_back(static_cast<std::uint8_t>(crc >> 8));
    reply_ = sd::exchange::EscapeBytes(message);
    reply_.push_back(0xC0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FixedReplyServer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  void Serve() {
    while (!stop_) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::uint8_t buf[256];
      for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0 || buf[n - 1] == 0xC0) break;
      }
      ::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
      ::close(fd);
    }
  }
  int listener_ = -1;
  int port_ = 0;
  sd::exchange::Bytes reply_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

FixedReplyServer* g_server = nullptr;
std::map<std::string, std::vector<double>> g_samples;  // microseconds per run

void Record(const std::string& name, Clock::time_point start) {
  g_samples[name].push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
}

void BareOnce() {
  static const sd::exchange::Bytes frame = [] {
    sd::exchange::Bytes f;
    std::int32_t counter = 0;
    sd::exchange::BuildRequest(3, 1, 1000, 10000, counter, f);
    return f;
  }();
  const int port = g_server->port();
  {
    std::thread([&] {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<std::uint16_t>(port));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::abort();
      ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
      std::uint8_t reply[256];
      if (::recv(fd, reply, sizeof reply, 0) <= 0) std::abort();
      ::shutdown(fd, SHUT_WR);
      ::close(fd);
    }).join();
  }
}

void DiscountOnce(bool log_on) {
  auto& s = sd::settings::LinkSettings;
  s.IP = "127.0.0.1";
  s.Port = g_server->port();
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
  const auto drive = std::filesystem::temp_directory_path() / ("sd-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(drive / "ZEMO" / "LogFiles");
  ::setenv("SMARTDRIVER_DRIVE_C", drive.c_str(), 1);
  sd::exchange::StartExchangeModule();
  sd::log::BindLogSwitch(&sd::settings::LinkSettings.bEnableLog);
  FixedReplyServer server;
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
