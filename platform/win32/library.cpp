// Libraries on Windows: LoadLibraryExA with the altered search path, as a till loads the driver, so that
// the driver's own runtime DLLs are found beside it.
#include "platform/library.h"
#include "platform/win32/text_win32.h"

#include <windows.h>

#include <string>

namespace sd::platform {
namespace {

// The system's text with its code, as a host's loader reports it.
std::string LoadFailure(DWORD code) {
  const std::string message = win32::SystemMessage(code);
  return message.empty() ? "error " + std::to_string(code) : message + " (" + std::to_string(code) + ")";
}

// The loader wants backslashes in a path that it is not to search for.
std::string WithBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

LibraryHandle Load(const std::string& path, std::string* error) {
  const HMODULE module = ::LoadLibraryExA(WithBackslashes(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr && error != nullptr) *error = LoadFailure(::GetLastError());
  return reinterpret_cast<LibraryHandle>(module);
}

void* FindSymbolOf(LibraryHandle library, const char* name) {
  return library == nullptr ? nullptr
                            : reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void Unload(LibraryHandle library) {
  if (library != nullptr) ::FreeLibrary(static_cast<HMODULE>(library));
}

bool IsLoaded(const std::string& path) {
  HMODULE module = nullptr;
  return ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, WithBackslashes(path).c_str(), &module) !=
         0;
}

std::string ExecutableFile() {
  char buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(buffer, length);
}

}  // namespace

SD_DEFINE_CALL_TABLE(ModuleOps, SD_MODULE_CALLS)

std::string SharedLibraryFileName(std::string_view name) { return std::string(name) + ".dll"; }

}  // namespace sd::platform
