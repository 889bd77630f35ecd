// A call whose effect on the i386 stack and registers is recorded: the thunk copies the arguments onto the
// stack, loads EBX, ESI and EDI with marks, calls, and records ESP, EBP, EBX, ESI, EDI and EAX after.
#pragma once

#include <cstdint>

namespace sd::testing {

inline constexpr std::uint32_t kMarkEbx = 0xB1B1B1B1, kMarkEsi = 0x51515151, kMarkEdi = 0xD1D1D1D1;

struct Measured {
  std::uint32_t esp_before;  // ESP at the call, the arguments pushed
  std::uint32_t ebp_before;
  std::uint32_t esp_after;
  std::uint32_t ebp_after;
  std::uint32_t ebx, esi, edi, eax;  // after the call

  std::uint32_t Removed() const { return esp_after - esp_before; }
  bool KeptRegisters() const {
    return ebp_after == ebp_before && ebx == kMarkEbx && esi == kMarkEsi && edi == kMarkEdi;
  }
};

// `function` is called with `bytes` bytes of `arguments` on the stack. Records into *out after the call.
// MeasuredCall has unwind information, so a C++ exception passes through it to its caller; BareMeasuredCall
// has none, like a frame of a host built by another compiler.
extern "C" void MeasuredCall(const void* function, const void* arguments, std::uint32_t bytes, Measured* out)
    __asm__("sd_measured_call");
extern "C" void BareMeasuredCall(const void* function, const void* arguments, std::uint32_t bytes,
                                 Measured* out) __asm__("sd_bare_measured_call");

}  // namespace sd::testing
