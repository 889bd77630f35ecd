// How an entry of the host's table (and GeTDriver) stands between the host and the driver's work.
//
// Each entry holds an EntryFrame from its first statement to its last. The frame gives the driver its
// own floating-point state and gives the host's back on every way out; on Windows it is also a
// structured-exception frame in the system's chain, so that when a host's handler unwinds through the
// entry without running the driver's destructors (an access violation that the host catches), what the
// entry holds is given back all the same: every EntryLock taken since the frame began is unlocked, and the
// host's x87 control word is restored.
//
// Each entry catches whatever its work raised, lets every object of the call go, and hands the failure to
// LeaveEntry as its very last act. POSIX: the C++ exception goes on to the host, as it came. Windows: the
// C++ exception goes on only when the caller's frame can be unwound by the driver's own runtime (the
// driver calling one of its own entries); any other caller gets the structured exception of
// smartdriver/refusal.h.
#pragma once

#include <exception>
#include <mutex>

namespace sd::platform {

class EntryFrame {
 public:
  EntryFrame();
  ~EntryFrame();
  EntryFrame(const EntryFrame&) = delete;
  EntryFrame& operator=(const EntryFrame&) = delete;

  // The host's floating-point state again, for a failure that leaves by the system's exception.
  void GiveBackHostState();

 private:
  // Windows: the system's exception registration (the record below, the handler), the host's control
  // word and the innermost EntryLock when the entry began. Nothing elsewhere.
  void* words_[4];
};

// A lock taken while an entry runs (the one-server-call lock, the log's lock). Besides its destructor,
// the unwinding of an EntryFrame above it on the same thread unlocks it.
class EntryLock {
 public:
  explicit EntryLock(std::mutex& mutex);
  ~EntryLock();
  // It stays where it was made: the list refers to it there. A function returns one by its value only.
  EntryLock(const EntryLock&) = delete;
  EntryLock& operator=(const EntryLock&) = delete;

  // This thread's innermost lock still held, and the unlocking of every one inside `outer`.
  static EntryLock* Innermost();
  static void ReleaseInside(EntryLock* outer);

 private:
  void Unlink();

  std::mutex* mutex_;
  EntryLock* outer_ = nullptr;
};

// Sends `failure` on to the caller whose return address is `return_address`, from the entry that holds
// `frame`.
[[noreturn]] void LeaveEntry(std::exception_ptr& failure, const void* return_address, EntryFrame& frame);

}  // namespace sd::platform
