// The module's load and unload hook on Windows: DllMain, which the runtime calls after the library's
// initialisers and before their destructors, with the loader lock held. It also gives the thread that
// loads the library the name "Main", for a debugger.
#include "platform/module.h"

#include <windows.h>

#include "platform/win32/loader_lock.h"

#if defined(__i386__)
// The unwinder linked into the library (libgcc): its lookup of a code address, and the registration of a
// module's unwind tables.
extern "C" const void* _Unwind_Find_FDE(void* pc, void* bases);
extern "C" void __register_frame_info(const void* begin, void* object);
#endif

namespace {

#if defined(__i386__)

struct FdeBases {
  void* text;
  void* data;
  void* function;
};

// libgcc's record of the library's unwind tables (six words; more room is harmless). It goes with the
// library, as the unwinder that refers to it does, so it is never taken back.
void* g_frames_object[8];

// MinGW's start-up code hands the library's unwind tables to a libgcc_s_dw2-1.dll that is already loaded
// in the process (another program's runtime) instead of the unwinder linked into the library, which then
// would find no handler for any of the driver's own C++ exceptions. There the tables are registered with
// the library's own unwinder too: the other runtime tells where they lie, and their section starts them.
void KeepUnwindTablesOwn(HINSTANCE self) {
  char* const pc = reinterpret_cast<char*>(&KeepUnwindTablesOwn) + 1;
  FdeBases bases{};
  if (_Unwind_Find_FDE(pc, &bases) != nullptr) return;
  const HMODULE other = ::GetModuleHandleW(L"libgcc_s_dw2-1.dll");
  using FindFde = const void* (*)(void*, void*);
  auto* find = other != nullptr ? reinterpret_cast<FindFde>(reinterpret_cast<void*>(::GetProcAddress(other, "_Unwind_Find_FDE")))
                                : nullptr;
  const auto* fde = static_cast<const unsigned char*>(find != nullptr ? find(pc, &bases) : nullptr);
  if (fde == nullptr) return;
  const auto* image = reinterpret_cast<const unsigned char*>(self);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const unsigned char* start = image + section->VirtualAddress;
    if (fde < start || fde >= start + section->Misc.VirtualSize) continue;
    __register_frame_info(start, g_frames_object);
    return;
  }
}
#else
// x86-64 unwinds by the system's function tables, which every module carries for itself.
void KeepUnwindTablesOwn(HINSTANCE) {}
#endif

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

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      KeepUnwindTablesOwn(instance);
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
