// The driver library loaded the way a host loads it: the platform's library loader, GeTDriver by name,
// entries through the object's table, and unloaded at the end.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/library.h"
#include "smartdriver/entries.h"
#include "smartdriver/errors.h"

namespace sd::testing {

class DriverLibrary {
 public:
  explicit DriverLibrary(const std::string& path = SD_TEST_LIBRARY) {
    std::string error;
    handle_ = platform::LoadLibraryFile(path, &error);
    if (handle_ == nullptr) throw std::runtime_error("cannot load " + path + ": " + error);
    get_driver_ = reinterpret_cast<entry::GeTDriver*>(platform::FindSymbol(handle_, kGeTDriverSymbol));
    if (get_driver_ == nullptr) throw std::runtime_error("GeTDriver is not exported");
  }
  ~DriverLibrary() { Unload(); }
  DriverLibrary(const DriverLibrary&) = delete;
  DriverLibrary& operator=(const DriverLibrary&) = delete;

  // A refusal comes out as the driver's exception on every platform, as from the entries (EntryOf).
  TSmartDriver* GetDriver() { return CallEntry([&] { return get_driver_(0); }); }
  entry::GeTDriver* GeTDriverAddress() const { return get_driver_; }
  void Unload() {
    platform::UnloadLibrary(handle_);
    handle_ = nullptr;
  }

 private:
  platform::LibraryHandle handle_ = nullptr;
  entry::GeTDriver* get_driver_ = nullptr;
};

// The message of what an entry raised, or "" when it returned.
template <typename Call>
std::string Raised(Call&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace sd::testing
