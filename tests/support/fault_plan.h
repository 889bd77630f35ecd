// The fault plan: the platform's file, socket and thread tables wrapped so that the Nth failable call
// made on the driver's threads fails with a chosen code, the way a full disk, a reset network or a
// system out of threads would make it fail. It also keeps the socket handles and threads those calls
// opened, so that a test can tell a leak.
//
// The driver's threads are the thread that armed the plan (the host's) and every thread that a driver's
// thread starts through the platform. Anything else in the process (an emulator serving on the same
// tables, its own threads) is neither counted nor failed, so a count depends on the driver alone.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "platform/files.h"
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
  const platform::FileOps* files = nullptr;
  const platform::SocketOps* sockets = nullptr;
  const platform::ThreadOps* threads = nullptr;
  platform::FileOps wrapped_files{};
  platform::SocketOps wrapped_sockets{};
  platform::ThreadOps wrapped_threads{};
};
inline State& Get() {
  static State state;
  return state;
}
inline bool& Counted() {
  thread_local bool counted = false;
  return counted;
}
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
inline int FileCode() { return Locked([](State& s) { return s.file_code; }); }
inline int SocketFailure() {
  platform::SetLastSocketError(Locked([](State& s) { return s.socket_code; }));
  return -1;
}
inline const platform::FileOps& F() { return *Get().files; }
inline const platform::SocketOps& S() { return *Get().sockets; }

inline void Opened(platform::SocketHandle h) {
  if (h != platform::kNoSocket && Counted()) Locked([h](State& s) { return s.open_sockets.insert(h).second; });
}

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

// The tables: copies of the ones in force with every failable call replaced, so that an operation the
// tables gain later passes through unchanged until it is added here.
inline platform::FileOps WrapFiles(const platform::FileOps& real) {
  platform::FileOps t = real;
  t.append = [](const std::string& p, std::string_view b, std::int64_t* size) {
    return Fails("append") ? FileCode() : F().append(p, b, size);
  };
  t.size = [](const std::string& p, std::int64_t* size) { return Fails("size") ? FileCode() : F().size(p, size); };
  t.move_replacing = [](const std::string& from, const std::string& to) {
    return Fails("move_replacing") ? false : F().move_replacing(from, to);
  };
  t.read_all = [](const std::string& p, std::string* c) { return Fails("read_all") ? FileCode() : F().read_all(p, c); };
  t.replace_all = [](const std::string& p, std::string_view c) {
    return Fails("replace_all") ? FileCode() : F().replace_all(p, c);
  };
  return t;
}

inline platform::SocketOps WrapSockets(const platform::SocketOps& real) {
  using platform::SocketAddress;
  using platform::SocketHandle;
  platform::SocketOps t = real;
  t.load_library = [](std::uint32_t* code, std::string* text) {
    if (!Fails("load_library")) return S().load_library(code, text);
    *code = 126;  // module not found
    *text = "injected";
    return false;
  };
  t.startup = [](std::uint16_t v) {
    return Fails("startup") ? Locked([](State& s) { return s.socket_code; }) : S().startup(v);
  };
  t.socket = [](int family, int type, int protocol) {
    if (Fails("socket")) {
      SocketFailure();
      return platform::kNoSocket;
    }
    const SocketHandle h = S().socket(family, type, protocol);
    Opened(h);
    return h;
  };
  t.bind = [](SocketHandle h, const SocketAddress& a) { return Fails("bind") ? SocketFailure() : S().bind(h, a); };
  t.connect = [](SocketHandle h, const SocketAddress& a) {
    return Fails("connect") ? SocketFailure() : S().connect(h, a);
  };
  t.connect_within = [](SocketHandle h, const SocketAddress& a, int limit) {
    return Fails("connect_within") ? SocketFailure() : S().connect_within(h, a, limit);
  };
  t.send = [](SocketHandle h, const void* b, int n) { return Fails("send") ? SocketFailure() : S().send(h, b, n); };
  t.recv = [](SocketHandle h, void* b, int n) { return Fails("recv") ? SocketFailure() : S().recv(h, b, n); };
  t.select = [](platform::HandleSet* set, const platform::WaitLimit* limit) {
    return Fails("select") ? SocketFailure() : S().select(set, limit);
  };
  t.shutdown = [](SocketHandle h, int how) { return Fails("shutdown") ? SocketFailure() : S().shutdown(h, how); };
  // A close that fails has still closed the handle, as a system's close does after an interruption or
  // a pending error: the caller must not close it once more.
  t.closesocket = [](SocketHandle h) {
    const bool fail = Fails("closesocket");
    const int rc = S().closesocket(h);
    if (rc == 0) Locked([h](State& s) { return s.open_sockets.erase(h); });
    return fail ? SocketFailure() : rc;
  };
  t.setsockopt = [](SocketHandle h, int level, int option, const void* v, int n) {
    return Fails("setsockopt") ? SocketFailure() : S().setsockopt(h, level, option, v, n);
  };
  t.getsockname = [](SocketHandle h, SocketAddress* a) {
    return Fails("getsockname") ? SocketFailure() : S().getsockname(h, a);
  };
  t.getpeername = [](SocketHandle h, SocketAddress* a) {
    return Fails("getpeername") ? SocketFailure() : S().getpeername(h, a);
  };
  t.lookup_ipv4 = [](const char* name, std::array<std::uint8_t, 4>* a) {
    return Fails("lookup_ipv4") ? SocketFailure() : S().lookup_ipv4(name, a);
  };
  t.lookup_ipv4_within = [](const char* name, std::array<std::uint8_t, 4>* a, int limit) {
    return Fails("lookup_ipv4_within") ? SocketFailure() : S().lookup_ipv4_within(name, a, limit);
  };
  t.gethostname = [](char* b, int n) { return Fails("gethostname") ? SocketFailure() : S().gethostname(b, n); };
  return t;
}

inline platform::ThreadOps WrapThreads(const platform::ThreadOps& real) {
  platform::ThreadOps t = real;
  t.start = [](void (*body)(void*), void* argument) -> platform::ThreadHandle {
    if (!Counted()) return Get().threads->start(body, argument);
    if (Fails("thread start")) return nullptr;
    auto* start = new Start{body, argument};
    Get().running_bodies.fetch_add(1);
    const platform::ThreadHandle h = Get().threads->start(&RunCounted, start);
    if (h == nullptr) {
      delete start;
      Get().running_bodies.fetch_sub(1);
      return nullptr;
    }
    Locked([h](State& s) { return s.unjoined.insert(h).second; });
    return h;
  };
  t.join = [](platform::ThreadHandle h) {
    // A join counts whoever makes it: the driver may join a thread later, from another of its threads
    // or at its shutdown.
    Locked([h](State& s) { return s.unjoined.erase(h); });
    Get().threads->join(h);
  };
  return t;
}

}  // namespace fault_plan_detail

class FaultPlan {
 public:
  using State = fault_plan_detail::State;
  // Installs the wrapping tables over the ones in force, counting nothing until Arm.
  FaultPlan() {
    State& s = fault_plan_detail::Get();
    s.files = &platform::Files();
    s.sockets = &platform::Sockets();
    s.threads = &platform::Threads();
    s.wrapped_files = fault_plan_detail::WrapFiles(*s.files);
    s.wrapped_sockets = fault_plan_detail::WrapSockets(*s.sockets);
    s.wrapped_threads = fault_plan_detail::WrapThreads(*s.threads);
    previous_files_ = platform::SetFiles(&s.wrapped_files);
    previous_sockets_ = platform::SetSockets(&s.wrapped_sockets);
    previous_threads_ = platform::SetThreads(&s.wrapped_threads);
  }
  ~FaultPlan() {
    Disarm();
    platform::SetFiles(previous_files_);
    platform::SetSockets(previous_sockets_);
    platform::SetThreads(previous_threads_);
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

 private:
  const platform::FileOps* previous_files_ = nullptr;
  const platform::SocketOps* previous_sockets_ = nullptr;
  const platform::ThreadOps* previous_threads_ = nullptr;
};

}  // namespace sd::testing
