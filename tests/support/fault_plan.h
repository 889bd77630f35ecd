// The fault plan: every platform table wrapped, call by call from the table's own list, so that the Nth
// failable call made on the driver's threads fails with a chosen code, the way a full disk, a reset
// network or a system out of threads would make it fail. A call that a table gains is covered the day
// it is added. The plan also keeps the socket handles and threads those calls opened, so that a test can
// tell a leak.
//
// The driver's threads are the thread that armed the plan (the host's) and every thread that a driver's
// thread starts through the platform. Anything else in the process (an emulator serving on the same
// tables, its own threads) is neither counted nor failed, so a count depends on the driver alone.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/sockets.h"
#include "platform/thread.h"

namespace sd::testing {

namespace fault_plan_detail {

struct State {
  std::mutex lock;
  bool armed = false;
  long calls = 0;
  long fail_at = 0;
  int file_code = 0;
  int socket_code = 0;
  std::string failed;
  std::set<platform::SocketHandle> open_sockets;
  std::set<platform::ThreadHandle> unjoined;
  std::atomic<int> running_bodies{0};
};
inline State& Get() { static State state; return state; }
inline bool& Counted() { thread_local bool counted = false; return counted; }
template <typename F>
auto Locked(F f) {
  std::lock_guard<std::mutex> hold(Get().lock);
  return f(Get());
}

// Numbers a call of a counted thread; true when it is the one to fail.
inline bool Fails(std::string_view name) {
  if (!Counted()) return false;
  State& s = Get();
  std::lock_guard<std::mutex> hold(s.lock);
  if (!s.armed) return false;
  if (++s.calls != s.fail_at) return false;
  s.failed = name;
  return true;
}

// Each table: the one that was in force when the plan came (whose calls the wrappers make) and the
// wrapping one.
template <typename Ops>
struct Slot {
  static inline const Ops* real = nullptr;
  static inline const Ops* previous = nullptr;
  static inline Ops wrapped{};
};
template <typename Ops>
const Ops& Real() { return *Slot<Ops>::real; }

// Calls that only report and cannot fail (a join that does not wait reports whether the thread has
// ended); the clock has none that can.
template <typename Ops>
constexpr bool CanFail(std::string_view name) {
  if constexpr (std::is_same_v<Ops, platform::ClockOps>) return false;
  return name != "last_error" && name != "call_before_load" && name != "has_finished" && name != "try_join";
}

// How a failed call of each table reports: a file call with the plan's code (Windows numbering), a socket
// call with -1 (no socket) and the plan's Winsock code as the last error, any other with nothing.
template <typename Ops, typename R>
R Failure() {
  if constexpr (std::is_same_v<Ops, platform::FileOps>) {
    if constexpr (std::is_same_v<R, bool>) return false;
    else return static_cast<R>(Locked([](State& s) { return s.file_code; }));
  } else if constexpr (std::is_same_v<Ops, platform::SocketOps>) {
    platform::SetLastSocketError(Locked([](State& s) { return s.socket_code; }));
    if constexpr (std::is_same_v<R, platform::SocketHandle>) return platform::kNoSocket;
    else return static_cast<R>(-1);
  } else {
    return R{};
  }
}

template <std::size_t N>
struct CallName {
  char text[N];
  constexpr CallName(const char (&name)[N]) { std::copy_n(name, N, text); }
  constexpr std::string_view view() const { return {text, N - 1}; }
};

// The wrapper of one call: counts it, fails it when its turn has come, else makes the real call.
template <typename Ops, typename Call>
struct Wrapper;
template <typename Ops, typename R, typename... A>
struct Wrapper<Ops, R (*)(A...)> {
  template <R (*Ops::*call)(A...), CallName name>
  static R Run(A... arguments) {
    if constexpr (!std::is_void_v<R> && CanFail<Ops>(name.view())) {
      if (Fails(name.view())) return Failure<Ops, R>();
    }
    return (Real<Ops>().*call)(arguments...);
  }
};
#define SD_FAULT_PLAN_WRAP(result, name, function, parameters) \
  t.name = &Wrapper<Ops, decltype(Ops::name)>::template Run<&Ops::name, #name>;

template <typename Ops>
Ops WrapEvery();
#define SD_FAULT_PLAN_TABLE(OpsType, LIST) \
  template <>                              \
  inline OpsType WrapEvery<OpsType>() {    \
    using Ops = OpsType;                   \
    Ops t{};                               \
    LIST(SD_FAULT_PLAN_WRAP)               \
    return t;                              \
  }
SD_FAULT_PLAN_TABLE(platform::FileOps, SD_FILE_CALLS)
SD_FAULT_PLAN_TABLE(platform::SocketOps, SD_SOCKET_CALLS)
SD_FAULT_PLAN_TABLE(platform::ThreadOps, SD_THREAD_CALLS)
SD_FAULT_PLAN_TABLE(platform::ClockOps, SD_CLOCK_CALLS)
SD_FAULT_PLAN_TABLE(platform::ModuleOps, SD_MODULE_CALLS)
#undef SD_FAULT_PLAN_TABLE
#undef SD_FAULT_PLAN_WRAP

// A thread started by a counted thread is counted too; the record travels to it with its body.
struct Start {
  void (*body)(void*);
  void* argument;
};
inline void RunCounted(void* p) {
  const Start start = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  Counted() = true;
  start.body(start.argument);
  Get().running_bodies.fetch_sub(1);
}

// The calls that do more than fail: they keep what was opened, or fail in their own way.
template <typename Ops>
void Refine(Ops&) {}

template <>
inline void Refine(platform::SocketOps& t) {
  using platform::SocketHandle;
  t.load_library = [](std::uint32_t* code, std::string* text) {
    if (!Fails("load_library")) return Real<platform::SocketOps>().load_library(code, text);
    *code = 126;  // module not found
    *text = "injected";
    return false;
  };
  // The start reports its code itself rather than through the last error.
  t.startup = [](std::uint16_t v) {
    return Fails("startup") ? Locked([](State& s) { return s.socket_code; })
                            : Real<platform::SocketOps>().startup(v);
  };
  t.socket = [](int family, int type, int protocol) {
    using Socket = Wrapper<platform::SocketOps, decltype(platform::SocketOps::socket)>;
    const SocketHandle h = Socket::Run<&platform::SocketOps::socket, "socket">(family, type, protocol);
    if (h != platform::kNoSocket && Counted()) Locked([h](State& s) { return s.open_sockets.insert(h).second; });
    return h;
  };
  // A close that fails has still closed the handle, as a system's close does after an interruption or
  // a pending error: the caller must not close it once more.
  t.closesocket = [](SocketHandle h) {
    const bool fail = Fails("closesocket");
    const int rc = Real<platform::SocketOps>().closesocket(h);
    if (rc == 0) Locked([h](State& s) { return s.open_sockets.erase(h); });
    return fail ? Failure<platform::SocketOps, int>() : rc;
  };
}

template <>
inline void Refine(platform::ThreadOps& t) {
  t.start = [](void (*body)(void*), void* argument) -> platform::ThreadHandle {
    const platform::ThreadOps& real = Real<platform::ThreadOps>();
    if (!Counted()) return real.start(body, argument);
    if (Fails("start")) return nullptr;
    auto* start = new Start{body, argument};
    Get().running_bodies.fetch_add(1);
    const platform::ThreadHandle h = real.start(&RunCounted, start);
    if (h == nullptr) {
      delete start;
      Get().running_bodies.fetch_sub(1);
      return nullptr;
    }
    Locked([h](State& s) { return s.unjoined.insert(h).second; });
    return h;
  };
  // A join or a detach counts whoever makes it: the driver may join a thread later, from another of its
  // threads or at its shutdown.
  t.join = [](platform::ThreadHandle h) {
    Locked([h](State& s) { return s.unjoined.erase(h); });
    Real<platform::ThreadOps>().join(h);
  };
  t.try_join = [](platform::ThreadHandle h) {
    const bool joined = Real<platform::ThreadOps>().try_join(h);
    if (joined) Locked([h](State& s) { return s.unjoined.erase(h); });
    return joined;
  };
  t.detach = [](platform::ThreadHandle h) {
    Locked([h](State& s) { return s.unjoined.erase(h); });
    Real<platform::ThreadOps>().detach(h);
  };
}

template <typename... Ops>
struct Tables {
  static void Install() {
    ((Slot<Ops>::real = &platform::TableOf<Ops>().Current(), Slot<Ops>::wrapped = WrapEvery<Ops>(),
      Refine(Slot<Ops>::wrapped), Slot<Ops>::previous = platform::TableOf<Ops>().Set(&Slot<Ops>::wrapped)),
     ...);
  }
  static void Restore() { (platform::TableOf<Ops>().Set(Slot<Ops>::previous), ...); }
};
// The process table is not among them: the driver never starts a process, so none of its calls could be
// counted, and the tests' own children must start whatever the plan is doing.
using AllTables =
    Tables<platform::FileOps, platform::SocketOps, platform::ThreadOps, platform::ClockOps, platform::ModuleOps>;

}  // namespace fault_plan_detail

class FaultPlan {
 public:
  using State = fault_plan_detail::State;
  // Installs the wrapping tables over the ones in force, counting nothing until Arm.
  FaultPlan() { fault_plan_detail::AllTables::Install(); }
  ~FaultPlan() {
    Disarm();
    fault_plan_detail::AllTables::Restore();
  }
  FaultPlan(const FaultPlan&) = delete;
  FaultPlan& operator=(const FaultPlan&) = delete;

  // Counts the failable calls of the calling thread and of the threads it starts from now on; the
  // call numbered fail_at (from 1; 0 fails none) fails, a file call with file_code (Windows numbering),
  // a socket call with socket_code (Winsock numbering), a thread start by starting nothing.
  void Arm(long fail_at, int file_code = 112, int socket_code = 10054) {
    State& s = fault_plan_detail::Get();
    std::lock_guard<std::mutex> hold(s.lock);
    s.calls = 0;
    s.fail_at = fail_at;
    s.file_code = file_code;
    s.socket_code = socket_code;
    s.failed.clear();
    s.armed = true;
    fault_plan_detail::Counted() = true;
  }
  // Stops counting; threads started meanwhile stay counted until they end.
  void Disarm() {
    State& s = fault_plan_detail::Get();
    std::lock_guard<std::mutex> hold(s.lock);
    s.armed = false;
    fault_plan_detail::Counted() = false;
  }

  // Failable calls counted since Arm, and the name of the one that was failed ("" when none).
  long Calls() const { return fault_plan_detail::Locked([](State& s) { return s.calls; }); }
  std::string Failed() const { return fault_plan_detail::Locked([](State& s) { return s.failed; }); }
  // Sockets that counted calls opened and nothing closed yet.
  std::size_t OpenSockets() const { return fault_plan_detail::Locked([](State& s) { return s.open_sockets.size(); }); }
  // Waits until no thread started by a counted thread runs; false when one still does at the limit.
  bool WaitForThreads(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (fault_plan_detail::Get().running_bodies.load() != 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // Threads started by counted threads and never joined.
  std::size_t UnjoinedThreads() const { return fault_plan_detail::Locked([](State& s) { return s.unjoined.size(); }); }
};

}  // namespace sd::testing
