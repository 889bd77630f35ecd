// The soak run: many server operations in one load of the library, as a till makes them all day, the
// four kinds mixed with server faults, against the emulator run as a program. It checks every outcome
// and prints the process's handles, threads and resident memory at the start and at the end; with
// --check it fails when they grew by more than a leak-free run can explain. It also prints the time an
// operation takes in the first 10,000 operations and in the last 10,000, to show that it stays flat.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/library.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/entries.h"
#include "smartdriver/host_text.h"
#include "support/process_stats.h"
#include "tools/host/driver_loader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWaitMs = 1000;
// Before the start figures, each behaviour once for each kind of operation: what the first operations
// allocate for good (the memory of the exchange threads' allocators, the log's buffers) is no leak.
constexpr int kWarmUpRounds = 4;
constexpr int kMostHandleGrowth = 2;
constexpr int kMostThreadGrowth = 2;
constexpr long long kMostResidentGrowth = 1 << 20;

// What a server does for one wallet, how often the run asks for it (per 10,000 operations) and the
// message each kind of operation ends in. "" is a success; kTimeOut each operation's own time-out; a
// text ending in '(' is matched up to there.
const char kTimeOut[] = "<time-out>";
const char kRefused[] = "Сервер \"Вельтор\" отменил операцию";
const char kChecksum[] = "Ошибка связи с сервером: Неверная контрольная сумма входящего пакета (";
const char kClosed[] = "Ошибка связи с сервером: Connection Closed Gracefully.";
const char kReset[] = "Ошибка связи с сервером: Socket Error # 10054\r\nConnection reset by peer.";
struct Behaviour {
  const char* rule;  // the scenario keys of its wallet
  int per_10000;
  const char* payment_message;  // the cashless sale and return
  const char* other_message;    // the card query and the discount operations
};
const Behaviour kBehaviours[] = {
    {"", 0, "", ""},  // the rest: a normal answer
    {"approval=0", 200, kRefused, ""},
    {"fault=badcrc", 200, kChecksum, kChecksum},
    {"fault=garbage", 100, kChecksum, kChecksum},
    {"fault=trailing", 100, kChecksum, kChecksum},
    {"fault=close", 200, kClosed, kClosed},
    {"fault=noendclose", 100, kClosed, kClosed},
    {"fault=reset", 200, kReset, kReset},
    {"fault=midreset", 50, kReset, kReset},
    {"fault=split", 50, "", ""},
    {"fault=flood", 20, kChecksum, kChecksum},
    {"fault=drip", 5, "", ""},
    {"fault=silent", 5, kTimeOut, kTimeOut},
    {"fault=noend", 5, kTimeOut, kTimeOut},
};
constexpr int kBehaviourCount = sizeof kBehaviours / sizeof kBehaviours[0];
// Behaviour b answers wallets 10 b + 1 to 10 b + 10.
int WalletOf(int behaviour, int pick) { return 10 * behaviour + 1 + pick % 10; }

struct Figures {
  int handles = 0;
  int threads = 0;
  long long resident = 0;
};
Figures Measure() {
  return {sd::testing::HandleCount(), sd::testing::ThreadCount(), sd::testing::ResidentBytes()};
}
void Print(const char* when, const Figures& f) {
  std::printf("%-6s handles %4d  threads %3d  resident %9.1f KiB\n", when, f.handles, f.threads,
              static_cast<double>(f.resident) / 1024);
}

// A temporary drive C with the log directory and the settings that point at the emulator.
class Drive {
 public:
  Drive() {
    std::random_device random;
    do {
      root_ = fs::temp_directory_path() / ("sd-soak-" + std::to_string(random()));
    } while (!fs::create_directory(root_));
    fs::create_directories(root_ / "ZEMO" / "LogFiles");
  }
  ~Drive() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

// The emulator program beside this one, quiet, answering as kBehaviours says.
class EmulatorProgram {
 public:
  explicit EmulatorProgram(const Drive& drive) {
    std::ofstream scenario(drive.root() / "scenario.txt");
    for (int b = 1; b < kBehaviourCount; ++b)
      for (int pick = 0; pick < 10; ++pick) scenario << "wallet " << WalletOf(b, pick) << ' ' << kBehaviours[b].rule << '\n';
    scenario.close();
    const fs::path program = fs::path(sd::platform::ExecutablePath()).parent_path() /
                             (std::string("smartdriver-emulator") + SD_EXE_SUFFIX);
    std::string why;
    if (!child_.Start({program.string(), {"--quiet", "--scenario", (drive.root() / "scenario.txt").string()}, {}, ""},
                      &why))
      throw std::runtime_error("cannot start " + program.string() + ": " + why);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (child_.Output().find('\n') == std::string::npos && Clock::now() < deadline)
      child_.ReadMore(std::chrono::milliseconds(100));
    if (std::sscanf(child_.Output().c_str(), "discount-port=%d cashless-port=%d", &discount_port_,
                    &cashless_port_) != 2)
      throw std::runtime_error("the emulator named no ports: " + child_.Output() + child_.Errors());
  }
  ~EmulatorProgram() {
    child_.Stop();
    child_.Wait(std::chrono::seconds(10));
  }
  std::string Settings() const {
    return "[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(discount_port_) +
           "\r\nPortbn=" + std::to_string(cashless_port_) + "\r\nbWaitTimeOut=" + std::to_string(kWaitMs) +
           "\r\nbEnableLog=1\r\n";
  }

 private:
  sd::platform::ChildProcess child_;
  int discount_port_ = 0;
  int cashless_port_ = 0;
};

// The exchange threads of the last operations end within their own limits, a little past the wait.
void LetTheLastExchangesEnd() { std::this_thread::sleep_for(std::chrono::milliseconds(kWaitMs + 500)); }

template <typename Call>
std::string Raised(Call&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return sd::text::ToUtf8(e.what());
  }
  return "";
}

// One operation of the mix: its name and the message it ended in.
struct Done {
  const char* kind;
  bool payment;
  std::string message;
};
Done Operate(sd::TSmartDriver* driver, std::minstd_rand& random, std::uint8_t wallet) {
  using namespace sd;
  static const HostText card_text("0012345678");
  switch (random() % 4) {
    case 0: {
      CardInfo r{};
      return {"card-info", false, Raised([&] { EntryOf<entry::GetCardInfo>(driver, kGetCardInfo)(&r, driver, wallet); })};
    }
    case 1: {
      DiscountResult r{};
      const std::uint8_t code = "-M+"[random() % 3];
      return {"discount", false, Raised([&] {
                EntryOf<entry::DiscountOperation>(driver, kDiscountOperation)(&r, driver, code, wallet, 2, 100, nullptr,
                                                                              card_text.arg(), nullptr);
              })};
    }
    case 2: {
      CashlessResult r{};
      // Now and then below a thousandth: the sale then reads the card instead.
      const double quantity = random() % 8 == 0 ? 0 : 3;
      return {"cashless-sale", quantity > 0, Raised([&] {
                EntryOf<entry::CashlessSale>(driver, kCashlessSale)(&r, driver, 0, wallet, quantity, 150);
              })};
    }
    default: {
      CashlessResult r{};
      std::uint8_t ignored[1] = {0};
      return {"cashless-return", true, Raised([&] {
                EntryOf<entry::CashlessReturn>(driver, kCashlessReturn)(&r, driver, 0, nullptr, card_text.arg(),
                                                                        ignored, 0, wallet, 1, 50, 0);
              })};
    }
  }
}

bool Expected(const std::string& message, const Behaviour& behaviour, const Done& done) {
  std::string expected = done.payment ? behaviour.payment_message : behaviour.other_message;
  if (expected == kTimeOut)
    expected = std::string(done.kind) == "discount" ? "Не удалось получить скидку: TimeOut"
                                                     : "Продажа б/н не проведена: TimeOut";
  if (!expected.empty() && expected.back() == '(') return message.compare(0, expected.size(), expected) == 0;
  return message == expected;
}

// The time per operation over one stretch of the run: the mean and the median of its operations, leaving
// out those that wait out their whole time-out on purpose (a few a stretch, at random, each a whole
// second: they would make two stretches differ by chance alone).
struct Stretch {
  std::vector<double> micros;  // NaN for an operation left out
  std::pair<double, double> MeanAndMedian() const {
    std::vector<double> kept;
    for (double m : micros)
      if (!std::isnan(m)) kept.push_back(m);
    if (kept.empty()) return {0, 0};
    double sum = 0;
    for (double m : kept) sum += m;
    std::nth_element(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(kept.size() / 2), kept.end());
    return {sum / static_cast<double>(kept.size()), kept[kept.size() / 2]};
  }
};

bool WaitsOutItsTimeOut(const Behaviour& behaviour) {
  return std::string(behaviour.payment_message) == kTimeOut || std::string(behaviour.other_message) == kTimeOut;
}

int Run(long long operations, bool check, const std::string& library) {
  Drive drive;
  EmulatorProgram emulator(drive);
  std::ofstream(drive.root() / "ZEMO" / "Kestmark.INI", std::ios::binary) << emulator.Settings();
  sd::platform::SetDriveCRoot(drive.root().string());

  sd::host::DriverLoader loader(library);
  sd::TSmartDriver* driver = loader.Driver();
  const Figures loaded = Measure();

  // The first and the last stretch of the run (10,000 operations each, or half a shorter run), made
  // before the start figures so that keeping them adds nothing to the memory measured.
  const long long stretch = std::max(1LL, std::min(10000LL, operations / 2));
  Stretch first{std::vector<double>(static_cast<std::size_t>(stretch), 0.0)};
  Stretch last{std::vector<double>(static_cast<std::size_t>(stretch), 0.0)};

  std::minstd_rand random(20261208);
  std::map<std::string, long long> outcomes;
  long long unexpected = 0;
  Figures start = loaded;
  const auto began = Clock::now();
  const long long warm_up = kWarmUpRounds * kBehaviourCount;
  for (long long i = 0; i < warm_up + operations; ++i) {
    if (i == warm_up) {
      LetTheLastExchangesEnd();
      start = Measure();
    }
    // Within the warm-up every behaviour comes in turn; after it, as often as kBehaviours says.
    int behaviour = 0;
    if (i < warm_up) {
      behaviour = static_cast<int>(i % kBehaviourCount);
    } else {
      int roll = static_cast<int>(random() % 10000);
      for (int b = 1; b < kBehaviourCount && behaviour == 0; ++b)
        if ((roll -= kBehaviours[b].per_10000) < 0) behaviour = b;
    }
    const auto wallet = static_cast<std::uint8_t>(WalletOf(behaviour, static_cast<int>(random())));
    const auto operation_start = Clock::now();
    const Done done = Operate(driver, random, wallet);
    const double micros = WaitsOutItsTimeOut(kBehaviours[behaviour])
                              ? std::nan("")
                              : std::chrono::duration<double, std::micro>(Clock::now() - operation_start).count();
    if (const long long n = i - warm_up; n >= 0 && n < stretch) first.micros[static_cast<std::size_t>(n)] = micros;
    if (const long long n = i - warm_up - (operations - stretch); n >= 0 && n < stretch)
      last.micros[static_cast<std::size_t>(n)] = micros;
    const std::string rule = *kBehaviours[behaviour].rule ? kBehaviours[behaviour].rule : "normal";
    std::string message = done.message.empty() ? "done" : done.message.substr(0, 80);
    if (const auto line_end = message.find("\r\n"); line_end != std::string::npos) message.replace(line_end, 2, " ");
    ++outcomes[rule + " / " + done.kind + ": " + message];
    if (!Expected(done.message, kBehaviours[behaviour], done) && unexpected++ < 10)
      std::printf("unexpected: operation %lld, %s, wallet %d: \"%s\"\n", i, done.kind, wallet,
                  done.message.substr(0, 200).c_str());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
  LetTheLastExchangesEnd();
  const Figures end = Measure();

  for (const auto& [what, count] : outcomes) std::printf("%8lld  %s\n", count, what.c_str());
  std::printf("\n%lld operations after a warm-up of %lld, in %.1f s (%.0f a second); %lld unexpected outcomes\n",
              operations, warm_up, seconds, static_cast<double>(warm_up + operations) / seconds, unexpected);
  const auto [first_mean, first_median] = first.MeanAndMedian();
  const auto [last_mean, last_median] = last.MeanAndMedian();
  std::printf("time per operation, those that wait out their time-out left out: first %lld %.1f us, last %lld "
              "%.1f us (%.2f x); medians %.1f us and %.1f us (%.2f x)\n",
              stretch, first_mean, stretch, last_mean, first_mean > 0 ? last_mean / first_mean : 0, first_median,
              last_median, first_median > 0 ? last_median / first_median : 0);
  Print("loaded", loaded);
  Print("start", start);
  Print("end", end);
  const int handle_growth = end.handles - start.handles;
  const int thread_growth = end.threads - start.threads;
  const long long resident_growth = end.resident - start.resident;
  std::printf("growth handles %+d  threads %+d  resident %+.1f KiB\n", handle_growth, thread_growth,
              static_cast<double>(resident_growth) / 1024);
  if (!check) return 0;
  bool fine = unexpected == 0;
  if (handle_growth > kMostHandleGrowth || thread_growth > kMostThreadGrowth || resident_growth > kMostResidentGrowth ||
      start.handles < 0 || start.threads < 0 || start.resident < 0) {
    std::printf("soak: FAILED: handles or threads grew by more than 2, or resident memory by more than 1 MiB\n");
    fine = false;
  }
  if (unexpected > 0) std::printf("soak: FAILED: %lld operations ended otherwise than expected\n", unexpected);
  if (fine) std::printf("soak: passed\n");
  return fine ? 0 : 1;
}

const char kUsage[] =
    "Usage: soak [--check] [--lib PATH] [OPERATIONS]\n"
    "Runs OPERATIONS (default 100000) card operations, the four kinds mixed with server faults, in one load\n"
    "of the library against smartdriver-emulator, after a warm-up of every kind and fault. Prints each\n"
    "outcome's count, the time per operation in the first and the last 10,000 operations, and the\n"
    "process's handles, threads and resident memory at the start and the end.\n"
    "  --check     exit 1 when an outcome was not the expected one, or handles or threads grew by more\n"
    "              than 2, or resident memory by more than 1 MiB\n"
    "  --lib PATH  the library to load (default: the one of this build)\n";

}  // namespace

int main(int argc, char** argv) {
  long long operations = 100000;
  bool check = false;
  std::string library = sd::host::DefaultLibraryPath();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--check") {
      check = true;
    } else if (arg == "--lib" && i + 1 < argc) {
      library = argv[++i];
    } else if (!arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos && arg.size() < 12) {
      operations = std::stoll(arg);
    } else {
      std::fputs(kUsage, arg == "--help" ? stdout : stderr);
      return arg == "--help" ? 0 : 2;
    }
  }
  try {
    return Run(operations, check, library);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "soak: %s\n", e.what());
    return 3;
  }
}
