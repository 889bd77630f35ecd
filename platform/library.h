// Loading a shared library the way a host program does, finding its exports, and asking whether it is
// still loaded. Used by the host tool, the flat C interface and the tests; the driver itself never loads
// a library through this (the Windows socket library has its own binding in the socket services).
#pragma once

#include <string>
#include <string_view>

namespace sd::platform {

using LibraryHandle = void*;

// Loads the library file at a native path, used as given and never searched for, with every symbol
// resolved now and none made global. nullptr when it cannot be loaded; the system's reason is then in
// *error.
LibraryHandle LoadLibraryFile(const std::string& path, std::string* error);

// The address of an exported symbol, or nullptr.
void* FindSymbol(LibraryHandle library, const char* name);

// Drops this load's reference; the library goes when no other reference holds it.
void UnloadLibrary(LibraryHandle library);

// Whether the library file at a native path is loaded in this process now. Never loads it.
bool IsLibraryLoaded(const std::string& path);

// The file name that a shared library called `name` has here: "libNAME.so" or "NAME.dll".
std::string SharedLibraryFileName(std::string_view name);

// The native path of the running program's executable file; empty when the system cannot tell.
std::string ExecutablePath();

}  // namespace sd::platform
