// Loading and unloading the driver library for smartdriver-host.
#include "tools/host/driver_loader.h"

#include <filesystem>

#include "platform/library.h"

namespace sd::host {

DriverLoader::DriverLoader(const std::string& path) {
  std::string why;
  handle_ = platform::LoadLibraryFile(path, &why);
  if (handle_ == nullptr) throw LoadError("cannot load " + path + ": " + why);
  get_driver_ = reinterpret_cast<entry::GeTDriver*>(platform::FindSymbol(handle_, kGeTDriverSymbol));
  if (get_driver_ == nullptr) {
    platform::UnloadLibrary(handle_);
    handle_ = nullptr;
    throw LoadError(path + " does not export " + kGeTDriverSymbol);
  }
}

DriverLoader::~DriverLoader() { Unload(); }

TSmartDriver* DriverLoader::Driver() {
  if (driver_ == nullptr) driver_ = get_driver_(0);
  return driver_;
}

void DriverLoader::Unload() {
  if (driver_ != nullptr) {
    try {
      DestroyOf(driver_)(driver_);
    } catch (...) {
      // Nothing a host could do about a destructor that raises; the library is unloaded all the same.
    }
    driver_ = nullptr;
  }
  platform::UnloadLibrary(handle_);
  handle_ = nullptr;
}

std::string DefaultLibraryPath() {
  const std::string exe = platform::ExecutablePath();
  if (exe.empty()) return {};
  const std::filesystem::path lib =
      std::filesystem::path(exe).parent_path() / ".." / "lib" / platform::SharedLibraryFileName("smartdriver");
  return lib.lexically_normal().string();
}

}  // namespace sd::host
