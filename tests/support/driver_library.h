// The driver library loaded the way a host loads it: dlopen, GeTDriver by name, entries through the
// object's table, and dlclose at the end.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "smartdriver/entries.h"
#include "smartdriver/errors.h"

namespace sd::testing {

class DriverLibrary {
 public:
  explicit DriverLibrary(const char* path = SD_TEST_LIBRARY) {
    handle_ = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
    get_driver_ = reinterpret_cast<entry::GeTDriver*>(::dlsym(handle_, kGeTDriverSymbol));
    if (get_driver_ == nullptr) throw std::runtime_error("GeTDriver is not exported");
  }
  ~DriverLibrary() { Unload(); }
  DriverLibrary(const DriverLibrary&) = delete;
  DriverLibrary& operator=(const DriverLibrary&) = delete;

  TSmartDriver* GetDriver() { return get_driver_(0); }
  void Unload() {
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = nullptr;
  }
  void* handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
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
