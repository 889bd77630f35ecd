// The entries' boundary on Windows: the entry's own structured-exception frame and x87 control word, the
// C++ exception for a caller that the driver's runtime can unwind (the driver's own), the structured
// exception of smartdriver/refusal.h for any other. The frame and the control word are i386's; the 64-bit
// build, which only tests run, has neither.
#include "platform/boundary.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "smartdriver/errors.h"
#include "smartdriver/refusal.h"

#if defined(__i386__)
// libgcc's lookup of a code address among the frame descriptions registered with this runtime, which is
// linked into the driver: the driver's own.
extern "C" const void* _Unwind_Find_FDE(void* pc, void* bases);
#endif

namespace sd::platform {
namespace {

// The message of the thread's last refusal. A plain array: it needs no destructor at thread exit, which
// might come after the host has unloaded the driver. Longer messages are cut (none of the driver's is).
constexpr std::size_t kMessageCapacity = 4096;
thread_local char t_message[kMessageCapacity];

#if defined(__i386__)
// The driver's own x87 control word: every exception masked, 64-bit precision, rounding to nearest, as
// the runtime starts a program. A host of another compiler runs with its own (0x1332 unmasks invalid
// operation, zero divide and overflow), under which a NaN would fault inside the driver's arithmetic.
constexpr std::uint16_t kDriverControlWord = 0x037F;

std::uint16_t ControlWord() {
  std::uint16_t word = 0;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

// Pending exception flags are cleared first: under an unmasked word they would fault at the host's next
// floating-point instruction.
void SetControlWord(std::uint16_t word) { asm volatile("fnclex\n\tfldcw %0" : : "m"(word)); }

// The frame's words, as EntryFrame lays them out.
struct FrameWords {
  FrameWords* next;
  void* handler;
  std::uintptr_t host_word;
  EntryLock* outer_lock;
};

// Called by the system for every exception that passes through an entry. Only the unwinding concerns it:
// a host's handler is leaving the entry's frames, without their destructors.
extern "C" EXCEPTION_DISPOSITION __cdecl EntryFrameHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT*,
                                                          void*) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
    auto* frame = static_cast<FrameWords*>(establisher);
    EntryLock::ReleaseInside(frame->outer_lock);
    SetControlWord(static_cast<std::uint16_t>(frame->host_word));
  }
  return ExceptionContinueSearch;
}

FrameWords* ChainHead() { return reinterpret_cast<FrameWords*>(__readfsdword(0)); }
void SetChainHead(FrameWords* frame) { __writefsdword(0, static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(frame))); }

bool CallerUnwinds(const void* return_address) {
  struct {
    void* text_base;
    void* data_base;
    void* function;
  } bases{};
  // The return address may already belong to the next function; the call instruction ends just before.
  return _Unwind_Find_FDE(static_cast<char*>(const_cast<void*>(return_address)) - 1, &bases) != nullptr;
}

#else
// The 64-bit build is for tests only: it carries the portable suite under 64-bit Wine where 32-bit
// programs cannot run, and no till loads it. It has no frame of its own in a chain (x86-64 unwinds by the
// system's function tables) and leaves the floating-point state alone; the driver's destructors release
// its locks, as they do whenever the driver's own runtime unwinds.
struct FrameWords {};

HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
  return module;
}

// The runtime is linked into the driver, so only the driver's own code shares it.
bool CallerUnwinds(const void* return_address) {
  return ModuleOf(return_address) == ModuleOf(reinterpret_cast<const void*>(&ModuleOf));
}

#endif

// What a failure of the general kind was; a host's sd::CallEntry raises it again as that class.
int FailureOf(const Exception& e) {
  if (dynamic_cast<const EServerRefusal*>(&e) != nullptr) return SD_FAILURE_SERVER_REFUSAL;
  if (dynamic_cast<const ETimeOut*>(&e) != nullptr) return SD_FAILURE_TIME_OUT;
  if (dynamic_cast<const ECommunicationError*>(&e) != nullptr) return SD_FAILURE_COMMUNICATION;
  if (dynamic_cast<const EInvalidArgument*>(&e) != nullptr) return SD_FAILURE_INVALID_ARGUMENT;
  if (dynamic_cast<const ERangeError*>(&e) != nullptr) return SD_FAILURE_RANGE;
  if (dynamic_cast<const EUnsupported*>(&e) != nullptr) return SD_FAILURE_UNSUPPORTED;
  if (dynamic_cast<const EFileFailure*>(&e) != nullptr) return SD_FAILURE_FILE;
  return SD_FAILURE_NONE;
}

// Copies the failure's message into the thread's buffer and gives its kind.
int KeepMessage(const std::exception_ptr& failure, std::size_t* length, int* code, int* failure_class) {
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
    text = e.what(), kind = SD_REFUSAL_IN_OUT, *code = e.ErrorCode();
  } catch (const Exception& e) {
    text = e.what(), *failure_class = FailureOf(e);
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

#if defined(__i386__)
static_assert(sizeof(EntryFrame) == sizeof(FrameWords));

EntryFrame::EntryFrame() {
  auto* frame = reinterpret_cast<FrameWords*>(words_);
  frame->host_word = ControlWord();
  frame->outer_lock = EntryLock::Innermost();
  frame->handler = reinterpret_cast<void*>(&EntryFrameHandler);
  frame->next = ChainHead();
  SetChainHead(frame);
  SetControlWord(kDriverControlWord);
}

EntryFrame::~EntryFrame() {
  auto* frame = reinterpret_cast<FrameWords*>(words_);
  SetChainHead(frame->next);
  SetControlWord(static_cast<std::uint16_t>(frame->host_word));
}

void EntryFrame::GiveBackHostState() {
  SetControlWord(static_cast<std::uint16_t>(reinterpret_cast<FrameWords*>(words_)->host_word));
}
#else
EntryFrame::EntryFrame() : words_{} {}
EntryFrame::~EntryFrame() = default;
void EntryFrame::GiveBackHostState() {}
#endif

void LeaveEntry(std::exception_ptr& failure, const void* return_address, EntryFrame& frame) {
  if (CallerUnwinds(return_address)) std::rethrow_exception(failure);
  std::size_t length = 0;
  int code = 0, failure_class = SD_FAILURE_NONE;
  const int kind = KeepMessage(failure, &length, &code, &failure_class);
  // The exception object goes now: the host's handler will skip every frame of the driver. The entry's
  // frame stays in the chain while the exception passes: its handler gives the host's control word back
  // once more when the host's handler unwinds it, whatever the system did to the word meanwhile.
  failure = nullptr;
  frame.GiveBackHostState();
  const ULONG_PTR arguments[SD_REFUSAL_ARG_COUNT] = {
      reinterpret_cast<ULONG_PTR>(t_message), static_cast<ULONG_PTR>(length), static_cast<ULONG_PTR>(kind),
      static_cast<ULONG_PTR>(code), static_cast<ULONG_PTR>(failure_class)};
  ::RaiseException(SD_REFUSAL_CODE, EXCEPTION_NONCONTINUABLE, SD_REFUSAL_ARG_COUNT, arguments);
  // A handler cannot continue after a non-continuable exception; Windows does not come back here.
  std::terminate();
}

}  // namespace sd::platform
