// The module's load and unload hook on Windows: DllMain, which the runtime calls after the library's
// initialisers and before their destructors, with the loader lock held. It also gives the thread that
// loads the library the name "Main", for a debugger.
#include "platform/module.h"

#include <windows.h>

#include "platform/win32/loader_lock.h"

namespace {

// Windows 10 names threads with SetThreadDescription; older systems know only the debugger's naming
// exception, which without a handler of its own (a MinGW build has no __try) would end the process when
// no debugger is attached, so there the thread stays unnamed.
void NameThisThreadMain() {
  using SetDescription = HRESULT WINAPI(HANDLE, PCWSTR);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  auto* set = reinterpret_cast<SetDescription*>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetThreadDescription")));
  if (set != nullptr) set(::GetCurrentThread(), L"Main");
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      NameThisThreadMain();
      sd::platform::win32::SetInLoaderCallout(true);
      sd::platform::OnModuleLoad(/*under_loader_lock=*/true);
      sd::platform::win32::SetInLoaderCallout(false);
      break;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved set) the other threads are gone or frozen, and the process frees
      // everything itself: nothing is touched. The runtime's destructors that run after this hook, at
      // process exit as at unload, still hold the loader lock.
      sd::platform::win32::SetInLoaderCallout(true);
      if (reserved == nullptr) sd::platform::OnModuleUnload(/*under_loader_lock=*/true);
      break;
    default:
      break;
  }
  return TRUE;
}
