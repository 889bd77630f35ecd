// The socket stack's usage count, the one-time library start and the stack lock. The lock is made on
// first use and never destroyed, so it serves any thread for as long as the library is loaded.
#include "transport/socket_stack.h"

#include <array>
#include <mutex>

#include "platform/sockets.h"
#include "transport/transport_errors.h"
#include "transport/transport_texts.h"

namespace sd::transport {
namespace {

constexpr std::uint16_t kRequestedVersion = 0x0202;
constexpr int kHostNameCapacity = 250;

struct StackState {
  bool library_loaded = false;
  bool library_started = false;
  int users = 0;
  SocketStack* current = nullptr;
};

// Constant-initialised and with nothing to destroy, so that they serve any thread from load to unload.
// (The mutex is not marked so: MinGW's thread library spells its initialiser as a cast, which the
// compiler folds all the same but will not call a constant expression.)
std::mutex g_stack_lock;
constinit StackState g_state;

std::mutex& StackLock() { return g_stack_lock; }
StackState& State() { return g_state; }

}  // namespace

int StartSocketLibrary(std::uint16_t version) {
  StackState& state = State();
  const auto& ops = sd::platform::Sockets();
  if (!state.library_loaded) {
    std::uint32_t system_error = 0;
    std::string system_error_text;
    if (!ops.load_library(&system_error, &system_error_text)) {
      throw SocketLibraryError(FormatText(TransportText::kErrorOnLoadingLibrary, "WS2_32.DLL"), system_error,
                               system_error_text);
    }
    state.library_loaded = true;
  }
  return ops.startup(version);
}

// A failed start-up is tried again by the next creation of the stack: counting the library as
// started after a failure would only trade the clear start-up error for puzzling errors of every
// later socket call.
SocketStack::SocketStack() {
  StackState& state = State();
  if (!state.library_started) {
    if (StartSocketLibrary(kRequestedVersion) != 0)
      throw StackInitializationError(std::string(Text(TransportText::kWinsockInitializationError)));
    state.library_started = true;
  }
  std::array<char, kHostNameCapacity> buffer{};
  sd::platform::Sockets().gethostname(buffer.data(), static_cast<int>(buffer.size()));
  buffer.back() = '\0';
  host_name_ = buffer.data();
}

void AcquireSocketStack() {
  std::lock_guard<std::mutex> hold(StackLock());
  StackState& state = State();
  if (state.users++ == 0) {
    if (state.current) throw TransportError(std::string(Text(TransportText::kStackAlreadyCreated)));
    state.current = new SocketStack();
  }
}

void StopSocketLibrary() {
  std::lock_guard<std::mutex> hold(StackLock());
  if (State().library_started) sd::platform::Sockets().cleanup();
  State().library_started = false;
}

void ReleaseSocketStack() {
  std::lock_guard<std::mutex> hold(StackLock());
  StackState& state = State();
  if (state.users-- == 1) {
    delete state.current;
    state.current = nullptr;
  }
}

int SocketStackUsers() {
  std::lock_guard<std::mutex> hold(StackLock());
  return State().users;
}

bool SocketStackExists() {
  std::lock_guard<std::mutex> hold(StackLock());
  return State().current != nullptr;
}

StackUser::StackUser() {
  try {
    AcquireSocketStack();
  } catch (...) {
    ReleaseSocketStack();
    throw;
  }
}

StackUser::~StackUser() { ReleaseSocketStack(); }

}  // namespace sd::transport
