// The module's load and unload hook on POSIX: a static object that the library's loader constructs
// after every other object of the library (it is linked last) and destroys before them.
#include "platform/module.h"

namespace {

struct ModuleLifetime {
  ModuleLifetime() { sd::platform::OnModuleLoad(/*under_loader_lock=*/false); }
  ~ModuleLifetime() { sd::platform::OnModuleUnload(/*under_loader_lock=*/false); }
  ModuleLifetime(const ModuleLifetime&) = delete;
  ModuleLifetime& operator=(const ModuleLifetime&) = delete;
};

ModuleLifetime g_lifetime;

}  // namespace
