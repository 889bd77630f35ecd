// The locks that an entry's frame gives back when a host unwinds through it: a list per thread, innermost
// first, that lives in the lockers' own stack frames.
#include "platform/boundary.h"

namespace sd::platform {
namespace {

thread_local EntryLock* t_innermost = nullptr;

}  // namespace

EntryLock::EntryLock(std::mutex& mutex) : mutex_(&mutex) {
  mutex.lock();
  outer_ = t_innermost;
  t_innermost = this;
}

EntryLock::~EntryLock() {
  if (mutex_ == nullptr) return;
  Unlink();
  mutex_->unlock();
}

void EntryLock::Unlink() {
  for (EntryLock** link = &t_innermost; *link != nullptr; link = &(*link)->outer_) {
    if (*link == this) {
      *link = outer_;
      return;
    }
  }
}

EntryLock* EntryLock::Innermost() { return t_innermost; }

void EntryLock::ReleaseInside(EntryLock* outer) {
  while (t_innermost != nullptr && t_innermost != outer) {
    EntryLock* lock = t_innermost;
    t_innermost = lock->outer_;
    std::mutex* mutex = lock->mutex_;
    lock->mutex_ = nullptr;
    if (mutex != nullptr) mutex->unlock();
  }
}

}  // namespace sd::platform
