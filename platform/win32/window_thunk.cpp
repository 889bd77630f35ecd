// The window thunk: data and code in one block of executable memory that the library never frees.
#include "platform/win32/window_thunk.h"

#include <cstdint>
#include <cstring>

namespace sd::platform::win32 {

static_assert(sizeof(void*) == 4, "the thunk's code is i386 code");

class WindowThunk {
 public:
  void* volatile target;       // the library's procedure, or `forward`
  WNDPROC original;            // the window's own procedure
  void* call_window_proc;      // CallWindowProcW, which stays for the process's life
  unsigned char entry[6];      // jmp dword ptr [target]
  unsigned char forward[14];   // pop ecx; push dword ptr [original]; push ecx; jmp dword ptr [call_window_proc]
};

namespace {

// An instruction with a 32-bit absolute memory operand: its opcode bytes, then the operand's address.
unsigned char* Emit(unsigned char* at, unsigned char op, unsigned char modrm, const volatile void* operand) {
  const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(operand));
  at[0] = op;
  at[1] = modrm;
  std::memcpy(at + 2, &address, sizeof address);
  return at + 6;
}

}  // namespace

WindowThunk* MakeWindowThunk(WNDPROC library_proc, WNDPROC original) {
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  void* const call_window_proc =
      user32 != nullptr ? reinterpret_cast<void*>(::GetProcAddress(user32, "CallWindowProcW")) : nullptr;
  if (call_window_proc == nullptr) return nullptr;
  auto* thunk = static_cast<WindowThunk*>(
      ::VirtualAlloc(nullptr, sizeof(WindowThunk), MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (thunk == nullptr) return nullptr;
  thunk->target = reinterpret_cast<void*>(library_proc);
  thunk->original = original;
  thunk->call_window_proc = call_window_proc;
  Emit(thunk->entry, 0xFF, 0x25, &thunk->target);
  // The caller pushed the four arguments of a window procedure and its return address; CallWindowProcW
  // takes the original procedure before them and, as a standard call, removes all five.
  unsigned char* at = thunk->forward;
  *at++ = 0x59;
  at = Emit(at, 0xFF, 0x35, &thunk->original);
  *at++ = 0x51;
  Emit(at, 0xFF, 0x25, &thunk->call_window_proc);
  ::FlushInstructionCache(::GetCurrentProcess(), thunk, sizeof(WindowThunk));
  return thunk;
}

WNDPROC ThunkProc(WindowThunk* thunk) { return reinterpret_cast<WNDPROC>(reinterpret_cast<void*>(thunk->entry)); }

void ForwardToOriginal(WindowThunk* thunk) {
  ::InterlockedExchangePointer(const_cast<void**>(&thunk->target), thunk->forward);
}

}  // namespace sd::platform::win32
