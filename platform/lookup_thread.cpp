// The name lookup on a thread of its own, shared by the socket services that need it. The record is
// shared between the thread and its caller, who may have stopped waiting by the time the thread writes.
#include "platform/lookup_thread.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/socket_errors.h"
#include "platform/sockets.h"
#include "platform/thread.h"

namespace sd::platform {
namespace {

struct Lookup {
  BlockingLookup lookup = nullptr;
  std::string name;
  std::mutex lock;
  std::condition_variable done_signal;
  bool done = false;
  int outcome = -1;
  int error = 0;
  std::array<std::uint8_t, 4> address{};
};

void LookupBody(void* parameter) {
  const std::unique_ptr<std::shared_ptr<Lookup>> handed(static_cast<std::shared_ptr<Lookup>*>(parameter));
  const std::shared_ptr<Lookup> lookup = std::move(*handed);
  std::array<std::uint8_t, 4> address{};
  const int outcome = lookup->lookup(lookup->name.c_str(), &address);
  const int error = SystemSockets().last_error();
  std::lock_guard<std::mutex> hold(lookup->lock);
  lookup->outcome = outcome;
  lookup->error = error;
  lookup->address = address;
  lookup->done = true;
  lookup->done_signal.notify_all();
}

}  // namespace

int LookupOnThread(BlockingLookup blocking, const char* name, std::array<std::uint8_t, 4>* address, int limit_ms) {
  auto lookup = std::make_shared<Lookup>();
  lookup->lookup = blocking;
  lookup->name = name;
  auto* handed = new std::shared_ptr<Lookup>(lookup);
  const ThreadHandle thread = Threads().start(&LookupBody, handed);
  if (thread == nullptr) {
    delete handed;
    SetLastSocketError(kWsaENoBufs);
    return -1;
  }
  Threads().detach(thread);
  std::unique_lock<std::mutex> hold(lookup->lock);
  if (!lookup->done_signal.wait_for(hold, std::chrono::milliseconds(limit_ms), [&] { return lookup->done; }))
    return -2;
  if (lookup->outcome != 0) {
    SetLastSocketError(lookup->error);
    return -1;
  }
  *address = lookup->address;
  return 0;
}

}  // namespace sd::platform
