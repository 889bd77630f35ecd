// The one way the host tool, the flat C interface and the tests load the driver library: the file loaded
// as a host loads it (platform/library.h), GeTDriver found by name and called through the refusal
// boundary, and the library unloaded again. What each caller does on a failure stays with the caller;
// the failure's text is said here once.
#pragma once

#include <string>
#include <utility>

#include "platform/library.h"
#include "smartdriver/entries.h"
#include "smartdriver/refusal.h"

namespace sd::platform {

class DriverLibrary {
 public:
  DriverLibrary() = default;
  ~DriverLibrary() { Unload(); }
  DriverLibrary(DriverLibrary&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)), get_driver_(std::exchange(other.get_driver_, nullptr)) {}
  DriverLibrary& operator=(DriverLibrary&& other) noexcept {
    if (this != &other) {
      Unload();
      handle_ = std::exchange(other.handle_, nullptr);
      get_driver_ = std::exchange(other.get_driver_, nullptr);
    }
    return *this;
  }

  // Loads the library file at path and finds its GeTDriver. On failure nothing stays loaded, and *error
  // says why: "cannot load PATH: the system's reason" or "PATH does not export GeTDriver".
  bool Load(const std::string& path, std::string* error) {
    Unload();
    std::string why;
    LibraryHandle handle = LoadLibraryFile(path, &why);
    if (handle == nullptr) {
      *error = "cannot load " + path + ": " + why;
      return false;
    }
    auto* get_driver = reinterpret_cast<entry::GeTDriver*>(FindSymbol(handle, kGeTDriverSymbol));
    if (get_driver == nullptr) {
      UnloadLibrary(handle);
      *error = path + " does not export " + kGeTDriverSymbol;
      return false;
    }
    handle_ = handle;
    get_driver_ = get_driver;
    return true;
  }

  bool Loaded() const { return handle_ != nullptr; }

  // Asks GeTDriver for the driver object. A refusal comes out as the driver's exception on every
  // platform, as from the entries (EntryOf).
  TSmartDriver* GetDriver() const { return CallEntry([&] { return get_driver_(0); }); }
  entry::GeTDriver* GeTDriverAddress() const { return get_driver_; }

  // Drops this load's reference to the library; nothing when none is held.
  void Unload() {
    if (handle_ == nullptr) return;
    UnloadLibrary(std::exchange(handle_, nullptr));
    get_driver_ = nullptr;
  }

 private:
  LibraryHandle handle_ = nullptr;
  entry::GeTDriver* get_driver_ = nullptr;
};

}  // namespace sd::platform
