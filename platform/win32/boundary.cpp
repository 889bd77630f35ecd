// The entries' boundary on Windows: the C++ exception for a caller that the driver's runtime can unwind,
// the structured exception of smartdriver/refusal.h for any other.
#include "platform/boundary.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "smartdriver/errors.h"
#include "smartdriver/refusal.h"

#if !defined(__x86_64__)
// libgcc's lookup of a code address among the frame descriptions registered with this runtime: the
// driver's own, those of the runtime DLLs, and those of a host module built with the same toolchain.
extern "C" const void* _Unwind_Find_FDE(void* pc, void* bases);
#endif

namespace sd::platform {
namespace {

// The message of the thread's last refusal. A plain array: it needs no destructor at thread exit, which
// might come after the host has unloaded the driver. Longer messages are cut (none of the driver's is).
constexpr std::size_t kMessageCapacity = 4096;
thread_local char t_message[kMessageCapacity];

bool CallerUnwinds(const void* return_address) {
#if defined(__x86_64__)
  // On x86-64 the runtime unwinds through the system's function tables, which every module of any
  // compiler has unless it was built without unwind information.
  DWORD64 image_base = 0;
  return ::RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(return_address) - 1, &image_base, nullptr) != nullptr;
#else
  struct {
    void* text_base;
    void* data_base;
    void* function;
  } bases{};
  // The return address may already belong to the next function; the call instruction ends just before.
  return _Unwind_Find_FDE(static_cast<char*>(const_cast<void*>(return_address)) - 1, &bases) != nullptr;
#endif
}

// Copies the failure's message into the thread's buffer and gives its kind.
int KeepMessage(const std::exception_ptr& failure, std::size_t* length) {
  const char* text = "";
  int kind = SD_REFUSAL_GENERAL;
  try {
    std::rethrow_exception(failure);
  } catch (const EAbstractError& e) {
    text = e.what(), kind = SD_REFUSAL_ABSTRACT;
  } catch (const EConvertError& e) {
    text = e.what(), kind = SD_REFUSAL_CONVERSION;
  } catch (const EZeroDivide& e) {
    text = e.what(), kind = SD_REFUSAL_ZERO_DIVIDE;
  } catch (const EInOutError& e) {
    text = e.what(), kind = SD_REFUSAL_IN_OUT;
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
  }
  *length = std::min(std::strlen(text), kMessageCapacity - 1);
  std::memcpy(t_message, text, *length);
  t_message[*length] = '\0';
  return kind;
}

}  // namespace

void LeaveEntry(std::exception_ptr& failure, const void* return_address) {
  if (CallerUnwinds(return_address)) std::rethrow_exception(failure);
  std::size_t length = 0;
  const int kind = KeepMessage(failure, &length);
  // The exception object goes now: the host's handler will skip every frame of the driver.
  failure = nullptr;
  const ULONG_PTR arguments[SD_REFUSAL_ARG_COUNT] = {reinterpret_cast<ULONG_PTR>(t_message),
                                                     static_cast<ULONG_PTR>(length),
                                                     static_cast<ULONG_PTR>(kind)};
  ::RaiseException(SD_REFUSAL_CODE, EXCEPTION_NONCONTINUABLE, SD_REFUSAL_ARG_COUNT, arguments);
  // A handler cannot continue after a non-continuable exception; Windows does not come back here.
  std::terminate();
}

}  // namespace sd::platform
