// Shared libraries on POSIX: dlopen with RTLD_NOW | RTLD_LOCAL, as a host loads the driver.
#include "platform/library.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace sd::platform {
namespace {

LibraryHandle Load(const std::string& path, std::string* error) {
  // dlopen searches the library path for a bare name; the caller means the file it named.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr && error != nullptr) {
    const char* why = ::dlerror();
    *error = why != nullptr ? why : "unknown reason";
  }
  return handle;
}

void* FindSymbolOf(LibraryHandle library, const char* name) {
  return library == nullptr ? nullptr : ::dlsym(library, name);
}

void Unload(LibraryHandle library) {
  if (library != nullptr) ::dlclose(library);
}

bool IsLoaded(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  ::dlclose(handle);
  return true;
}

std::string ExecutableFile() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.string();
}

}  // namespace

SD_DEFINE_CALL_TABLE(ModuleOps, SD_MODULE_CALLS)

std::string SharedLibraryFileName(std::string_view name) { return "lib" + std::string(name) + ".so"; }

}  // namespace sd::platform
