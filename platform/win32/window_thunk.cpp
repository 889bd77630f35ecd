// The window thunk: data and code in one block of executable memory that the library never frees, as
// i386 code in the 32-bit build and as x86-64 code (with the unwind data the system needs to walk
// through it) in the 64-bit one.
#include "platform/win32/window_thunk.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace sd::platform::win32 {

class WindowThunk {
 public:
  void* volatile target;       // the library's procedure, or `forward`
  WNDPROC original;            // the window's own procedure
  void* call_window_proc;      // CallWindowProcW, which stays for the process's life
#if defined(__i386__)
  unsigned char entry[6];      // jmp dword ptr [target]
  unsigned char forward[14];   // pop ecx; push dword ptr [original]; push ecx; jmp dword ptr [call_window_proc]
#elif defined(__x86_64__)
  RUNTIME_FUNCTION function;   // where `forward` is, for the system's stack walks
  unsigned char unwind[8];     // how `forward` moved the stack
  unsigned char entry[6];      // jmp qword ptr [rip -> target]
  unsigned char forward[36];   // a frame that calls CallWindowProcW(original, the four arguments)
#endif
};

#if defined(__i386__)

namespace {

// An instruction with a 32-bit absolute memory operand: its opcode bytes, then the operand's address.
unsigned char* Emit(unsigned char* at, unsigned char op, unsigned char modrm, const volatile void* operand) {
  const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(operand));
  at[0] = op;
  at[1] = modrm;
  std::memcpy(at + 2, &address, sizeof address);
  return at + 6;
}

void EmitCode(WindowThunk* thunk) {
  Emit(thunk->entry, 0xFF, 0x25, &thunk->target);
  // The caller pushed the four arguments of a window procedure and its return address; CallWindowProcW
  // takes the original procedure before them and, as a standard call, removes all five.
  unsigned char* at = thunk->forward;
  *at++ = 0x59;
  at = Emit(at, 0xFF, 0x35, &thunk->original);
  *at++ = 0x51;
  Emit(at, 0xFF, 0x25, &thunk->call_window_proc);
}

}  // namespace

#elif defined(__x86_64__)

namespace {

// An instruction whose last operand is RIP-relative: its bytes, then the distance from its end to `operand`.
unsigned char* Emit(unsigned char* at, std::initializer_list<unsigned char> op, const volatile void* operand) {
  for (const unsigned char byte : op) *at++ = byte;
  const auto distance = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(operand) -
                                                  reinterpret_cast<std::intptr_t>(at + 4));
  std::memcpy(at, &distance, sizeof distance);
  return at + 4;
}

unsigned char* Emit(unsigned char* at, std::initializer_list<unsigned char> op) {
  for (const unsigned char byte : op) *at++ = byte;
  return at;
}

void EmitCode(WindowThunk* thunk) {
  Emit(thunk->entry, {0xFF, 0x25}, &thunk->target);
  // The window procedure's four arguments arrive in rcx, rdx, r8 and r9; CallWindowProcW takes the
  // original procedure before them, so the last one moves to the stack, above the callee's home space.
  unsigned char* at = thunk->forward;
  at = Emit(at, {0x48, 0x83, 0xEC, 0x38});              // sub rsp, 56
  at = Emit(at, {0x4C, 0x89, 0x4C, 0x24, 0x20});        // mov [rsp+32], r9
  at = Emit(at, {0x4D, 0x89, 0xC1});                    // mov r9, r8
  at = Emit(at, {0x49, 0x89, 0xD0});                    // mov r8, rdx
  at = Emit(at, {0x48, 0x89, 0xCA});                    // mov rdx, rcx
  at = Emit(at, {0x48, 0x8B, 0x0D}, &thunk->original);  // mov rcx, [original]
  at = Emit(at, {0xFF, 0x15}, &thunk->call_window_proc);  // call [call_window_proc]
  at = Emit(at, {0x48, 0x83, 0xC4, 0x38, 0xC3});        // add rsp, 56; ret
  // Version 1, a 4-byte prologue with one code: at offset 4, a small allocation of 6 * 8 + 8 bytes.
  const unsigned char unwind[8] = {0x01, 0x04, 0x01, 0x00, 0x04, 0x62, 0x00, 0x00};
  std::memcpy(thunk->unwind, unwind, sizeof unwind);
  const auto base = reinterpret_cast<std::uintptr_t>(thunk);
  thunk->function.BeginAddress = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(thunk->forward) - base);
  thunk->function.EndAddress = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(at) - base);
  thunk->function.UnwindData = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(thunk->unwind) - base);
  ::RtlAddFunctionTable(&thunk->function, 1, base);
}

}  // namespace

#else
#error "the window thunk has code for i386 and x86-64 only"
#endif

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
  EmitCode(thunk);
  ::FlushInstructionCache(::GetCurrentProcess(), thunk, sizeof(WindowThunk));
  return thunk;
}

WNDPROC ThunkProc(WindowThunk* thunk) { return reinterpret_cast<WNDPROC>(reinterpret_cast<void*>(thunk->entry)); }

void ForwardToOriginal(WindowThunk* thunk) {
  ::InterlockedExchangePointer(const_cast<void**>(&thunk->target), thunk->forward);
}

}  // namespace sd::platform::win32
