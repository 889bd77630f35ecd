// Loading and unloading the driver library for smartdriver-host.
#include "tools/host/driver_loader.h"

#include <chrono>
#include <thread>

#include "platform/files.h"
#include "platform/library.h"

namespace sd::host {

DriverLoader::DriverLoader(const std::string& path) : path_(path) {
  std::string why;
  if (!library_.Load(path, &why)) throw LoadError(why);
}

DriverLoader::~DriverLoader() { Unload(); }

TSmartDriver* DriverLoader::Driver() {
  // A refusal of GeTDriver comes out as the driver's exception, on Windows too (smartdriver/refusal.h).
  if (driver_ == nullptr) driver_ = library_.GetDriver();
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
  if (!library_.Loaded()) return;
  library_.Unload();
  // An exchange thread ends within its operation's wait and a short grace; the longest wait the
  // settings allow is not worth waiting for at exit.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (platform::IsLibraryLoaded(path_) && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::string DefaultLibraryPath() {
  const std::string exe = platform::ExecutablePath();
  const std::size_t slash = exe.find_last_of("/\\");
  if (slash == std::string::npos) return {};
  const std::string dir = exe.substr(0, slash + 1);
  const std::string file = platform::SharedLibraryFileName("smartdriver");
  // A Windows build keeps its DLLs beside its programs; an installed or POSIX build keeps them in ../lib.
  if (platform::Files().exists(dir + file)) return dir + file;
  const std::size_t parent = dir.find_last_of("/\\", slash - 1);
  if (parent == std::string::npos) return dir + ".." + exe[slash] + "lib" + exe[slash] + file;
  return exe.substr(0, parent + 1) + "lib" + exe[slash] + file;
}

}  // namespace sd::host
