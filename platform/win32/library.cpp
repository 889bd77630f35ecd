// Libraries on Windows: LoadLibraryExA with the altered search path, as a till loads the driver, so that
// the driver's own runtime DLLs are found beside it.
#include "platform/library.h"

#include <windows.h>

#include <string>

namespace sd::platform {
namespace {

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && static_cast<unsigned char>(message.back()) <= ' ') message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message + " (" + std::to_string(code) + ")";
}

// The loader wants backslashes in a path that it is not to search for.
std::string WithBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

}  // namespace

LibraryHandle LoadLibraryFile(const std::string& path, std::string* error) {
  const HMODULE module = ::LoadLibraryExA(WithBackslashes(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr && error != nullptr) *error = SystemMessage(::GetLastError());
  return reinterpret_cast<LibraryHandle>(module);
}

void* FindSymbol(LibraryHandle library, const char* name) {
  return library == nullptr ? nullptr
                            : reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void UnloadLibrary(LibraryHandle library) {
  if (library != nullptr) ::FreeLibrary(static_cast<HMODULE>(library));
}

bool IsLibraryLoaded(const std::string& path) {
  HMODULE module = nullptr;
  return ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, WithBackslashes(path).c_str(), &module) !=
         0;
}

std::string SharedLibraryFileName(std::string_view name) { return std::string(name) + ".dll"; }

std::string ExecutablePath() {
  char buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : std::string(buffer, length);
}

}  // namespace sd::platform
