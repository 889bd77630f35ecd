// Loading and unloading the driver library for smartdriver-host.
#include "tools/host/driver_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace sd::host {

DriverLoader::DriverLoader(const std::string& path) {
  // dlopen searches the library path for a bare name; a host means the file it was given.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    throw LoadError("cannot load " + path + ": " + (why != nullptr ? why : "unknown reason"));
  }
  get_driver_ = reinterpret_cast<entry::GeTDriver*>(::dlsym(handle_, kGeTDriverSymbol));
  if (get_driver_ == nullptr) {
    ::dlclose(handle_);
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
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

std::string DefaultLibraryPath() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return (exe.parent_path() / ".." / "lib" / "libsmartdriver.so").lexically_normal().string();
}

}  // namespace sd::host
