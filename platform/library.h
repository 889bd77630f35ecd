// Loading a shared library the way a host program does, finding its exports, and asking whether it is
// still loaded. The host tool, the flat C interface and the tests load the driver through
// platform/driver_library.h; the driver itself never loads a library through this (the Windows socket
// library has its own binding in the socket services).
#pragma once

#include <string>
#include <string_view>

#include "platform/call_table.h"

namespace sd::platform {

using LibraryHandle = void*;

// The calls, one row each: XX(result, name, the system function's name, (parameters)).
#define SD_MODULE_CALLS(XX)                                                                                    \
  /* Loads the library file at a native path, used as given and never searched for, with every symbol          \
     resolved now and none made global. nullptr when it cannot be loaded; the system's reason is then in       \
     *error. */                                                                                                \
  XX(LibraryHandle, load, Load, (const std::string& path, std::string* error))                                 \
  /* The address of an exported symbol, or nullptr. */                                                         \
  XX(void*, find_symbol, FindSymbolOf, (LibraryHandle library, const char* name))                              \
  /* Drops this load's reference; the library goes when no other reference holds it. */                        \
  XX(void, unload, Unload, (LibraryHandle library))                                                            \
  /* Whether the library file at a native path is loaded in this process now. Never loads it. */               \
  XX(bool, is_loaded, IsLoaded, (const std::string& path))                                                     \
  /* The native path of the running program's executable file; empty when the system cannot tell. */           \
  XX(std::string, executable_path, ExecutableFile, ())

struct ModuleOps {
  SD_MODULE_CALLS(SD_CALL_FIELD)
};

// The operations in force (Modules()), the system's own ones (SystemModules()), and SetModules().
SD_CALL_TABLE_FUNCTIONS(ModuleOps, Modules)

// The names the callers use, through the table in force.
inline LibraryHandle LoadLibraryFile(const std::string& path, std::string* error) {
  return Modules().load(path, error);
}
inline void* FindSymbol(LibraryHandle library, const char* name) { return Modules().find_symbol(library, name); }
inline void UnloadLibrary(LibraryHandle library) { Modules().unload(library); }
inline bool IsLibraryLoaded(const std::string& path) { return Modules().is_loaded(path); }
inline std::string ExecutablePath() { return Modules().executable_path(); }

// The file name that a shared library called `name` has here: "libNAME.so" or "NAME.dll".
std::string SharedLibraryFileName(std::string_view name);

}  // namespace sd::platform
