/* How a refusal reaches a Windows host: the driver DLL carries its own C++ runtime, so every host gets it
 * as the structured exception SD_REFUSAL_CODE, raised with RaiseException and flagged non-continuable.
 * Its arguments are the address of the zero-terminated Windows-1251 operator message, the message's
 * length, its kind, for an input/output error its code, and what a failure of the general kind was. The message stays valid until the next
 * refusal on the same thread.
 *
 * The header is plain C. A host with a handler of its own hands sd_read_refusal the EXCEPTION_RECORD that
 * the handler received; sd_call_entry calls an entry and gives the refusal back as a return value, and
 * in C++ sd::CallEntry gives it back as the exception of smartdriver/errors.h, as on Linux. */
#ifndef SMARTDRIVER_REFUSAL_H
#define SMARTDRIVER_REFUSAL_H

#include <stddef.h>
#include <stdint.h>

#define SD_REFUSAL_CODE 0xE0534400u

/* The places of the exception's arguments (ExceptionInformation[]) and their number. */
enum {
  SD_REFUSAL_ARG_MESSAGE = 0,
  SD_REFUSAL_ARG_LENGTH = 1,
  SD_REFUSAL_ARG_KIND = 2,
  SD_REFUSAL_ARG_CODE = 3,
  SD_REFUSAL_ARG_FAILURE = 4,
  SD_REFUSAL_ARG_COUNT = 5
};

/* The kinds follow the runtime's exception classes of smartdriver/errors.h. */
enum {
  SD_REFUSAL_GENERAL = 1,     /* sd::Exception, and whatever is none of the below */
  SD_REFUSAL_ABSTRACT = 2,    /* sd::EAbstractError */
  SD_REFUSAL_CONVERSION = 3,  /* sd::EConvertError */
  SD_REFUSAL_ZERO_DIVIDE = 4, /* sd::EZeroDivide */
  SD_REFUSAL_IN_OUT = 5       /* sd::EInOutError */
};

/* Within the general kind, the failure that a host may act on differently, as the subclasses of
 * sd::Exception in smartdriver/errors.h name it; SD_FAILURE_NONE for the others and for every other kind. */
enum {
  SD_FAILURE_NONE = 0,
  SD_FAILURE_SERVER_REFUSAL = 1,   /* sd::EServerRefusal */
  SD_FAILURE_TIME_OUT = 2,         /* sd::ETimeOut */
  SD_FAILURE_COMMUNICATION = 3,    /* sd::ECommunicationError */
  SD_FAILURE_INVALID_ARGUMENT = 4, /* sd::EInvalidArgument */
  SD_FAILURE_RANGE = 5,            /* sd::ERangeError */
  SD_FAILURE_UNSUPPORTED = 6,      /* sd::EUnsupported */
  SD_FAILURE_FILE = 7              /* sd::EFileFailure */
};

typedef struct SdRefusal {
  const char* message; /* Windows-1251, zero-terminated */
  size_t length;
  int kind;
  int code;    /* the input/output error's code (SD_REFUSAL_IN_OUT), else 0 */
  int failure; /* SD_FAILURE_*: what a refusal of the general kind was */
} SdRefusal;

/* The head of Windows' EXCEPTION_RECORD, laid out alike. */
typedef struct SdExceptionRecordHead {
  uint32_t code;
  uint32_t flags;
  const void* inner;
  const void* address;
  uint32_t argument_count;
  uintptr_t arguments[15];
} SdExceptionRecordHead;

/* Reads a refusal out of an EXCEPTION_RECORD (pass its address). Returns 1 and fills *out when the record
 * is the driver's refusal, 0 for any other exception. */
static inline int sd_read_refusal(const void* exception_record, SdRefusal* out) {
  const SdExceptionRecordHead* record = (const SdExceptionRecordHead*)exception_record;
  /* A driver of an earlier version gives no code and no failure. */
  if (record == NULL || record->code != SD_REFUSAL_CODE || record->argument_count < SD_REFUSAL_ARG_CODE) {
    return 0;
  }
  out->message = (const char*)record->arguments[SD_REFUSAL_ARG_MESSAGE];
  out->length = (size_t)record->arguments[SD_REFUSAL_ARG_LENGTH];
  out->kind = (int)record->arguments[SD_REFUSAL_ARG_KIND];
  out->code = record->argument_count > SD_REFUSAL_ARG_CODE ? (int)record->arguments[SD_REFUSAL_ARG_CODE] : 0;
  out->failure =
      record->argument_count > SD_REFUSAL_ARG_FAILURE ? (int)record->arguments[SD_REFUSAL_ARG_FAILURE] : SD_FAILURE_NONE;
  return 1;
}

/* What sd_call_entry calls: a function of the host's that calls one entry with its arguments. */
typedef void (*SdEntryCall)(void* context);

/* Calls call(context). Returns 0 when it returned, and 1 with *refusal filled when the driver refused;
 * any other exception goes on to the host's own handlers. On a refusal the frames of `call` are left
 * without running anything more of them: `call` should do no more than call the entry. Elsewhere than
 * on Windows the driver's failure is a C++ exception and this only calls. */
#if defined(_WIN32) && defined(_MSC_VER)
#include <windows.h>

static int sd_refusal_filter(EXCEPTION_POINTERS* info, SdRefusal* refusal) {
  return sd_read_refusal(info->ExceptionRecord, refusal) ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH;
}

static int sd_call_entry(SdEntryCall call, void* context, SdRefusal* refusal) {
  __try {
    call(context);
  } __except (sd_refusal_filter(GetExceptionInformation(), refusal)) {
    return 1;
  }
  return 0;
}

#elif defined(_WIN32) && defined(__GNUC__) && defined(__i386__)
#include <windows.h>

/* Without __try: a structured-exception frame of its own in the system's chain (FS:[0]). */
typedef struct SdRefusalFrame {
  struct SdRefusalFrame* next;
  EXCEPTION_DISPOSITION(__cdecl* handler)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
  void* scope_table; /* as a compiler's frame has them, so that the C runtime's longjmp leaves it alone */
  intptr_t try_level;
  SdRefusal* refusal;
  void* resume[5];
} SdRefusalFrame;

/* The refusal is this frame's: the frames above it (the entry's) are unwound, so that each lets go of
 * what it holds, and the call resumes in sd_call_entry. */
static EXCEPTION_DISPOSITION __cdecl sd_refusal_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                        void* dispatcher) {
  SdRefusalFrame* own = (SdRefusalFrame*)frame;
  (void)context;
  (void)dispatcher;
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
      !sd_read_refusal(record, own->refusal)) {
    return ExceptionContinueSearch;
  }
  RtlUnwind(frame, NULL, record, NULL);
  __builtin_longjmp(own->resume, 1);
}

static __attribute__((noinline, unused)) int sd_call_entry(SdEntryCall call, void* context, SdRefusal* refusal) {
  SdRefusalFrame frame;
  frame.next = (SdRefusalFrame*)__readfsdword(0);
  frame.handler = sd_refusal_handler;
  frame.scope_table = NULL;
  frame.try_level = -1;
  frame.refusal = refusal;
  if (__builtin_setjmp(frame.resume) != 0) {
    __writefsdword(0, (DWORD)(uintptr_t)frame.next);
    return 1;
  }
  __writefsdword(0, (DWORD)(uintptr_t)&frame);
  call(context);
  __writefsdword(0, (DWORD)(uintptr_t)frame.next);
  return 0;
}

#elif defined(_WIN32) && defined(__GNUC__) && defined(__x86_64__)
#include <windows.h>

/* Without __try, and with no chain to join on x86-64: a vectored handler, present only while the call
 * runs, takes the refusal on the thread that made the call and resumes it in sd_call_entry. The entry's
 * frames hold nothing by then; they are left as the stack is cut back. */
typedef struct SdRefusalScope {
  SdRefusal* refusal;
  void* resume[5];
} SdRefusalScope;

static __thread SdRefusalScope* sd_refusal_scope;

static LONG CALLBACK sd_refusal_vectored(EXCEPTION_POINTERS* info) {
  SdRefusalScope* scope = sd_refusal_scope;
  if (scope == NULL || !sd_read_refusal(info->ExceptionRecord, scope->refusal)) return EXCEPTION_CONTINUE_SEARCH;
  __builtin_longjmp(scope->resume, 1);
}

static __attribute__((noinline, unused)) int sd_call_entry(SdEntryCall call, void* context, SdRefusal* refusal) {
  SdRefusalScope scope;
  SdRefusalScope* outer = sd_refusal_scope;
  void* handler = AddVectoredExceptionHandler(1, sd_refusal_vectored);
  scope.refusal = refusal;
  if (__builtin_setjmp(scope.resume) != 0) {
    sd_refusal_scope = outer;
    RemoveVectoredExceptionHandler(handler);
    return 1;
  }
  sd_refusal_scope = &scope;
  call(context);
  sd_refusal_scope = outer;
  RemoveVectoredExceptionHandler(handler);
  return 0;
}

#else
static inline int sd_call_entry(SdEntryCall call, void* context, SdRefusal* refusal) {
  (void)refusal;
  call(context);
  return 0;
}
#endif

#ifdef __cplusplus
#include <exception>
#include <string>
#include <type_traits>

#include "smartdriver/errors.h"

namespace sd {

// The refusal as the exception of its kind, the one the driver raised.
[[noreturn]] inline void ThrowRefusal(const SdRefusal& refusal) {
  std::string message(refusal.message != nullptr ? refusal.message : "", refusal.length);
  switch (refusal.kind) {
    case SD_REFUSAL_ABSTRACT:
      throw EAbstractError();
    case SD_REFUSAL_CONVERSION:
      throw EConvertError(std::move(message));
    case SD_REFUSAL_ZERO_DIVIDE:
      throw EZeroDivide();
    case SD_REFUSAL_IN_OUT:
      throw EInOutError(refusal.code, std::move(message));
    default:
      break;
  }
  switch (refusal.failure) {
    case SD_FAILURE_SERVER_REFUSAL:
      throw EServerRefusal(std::move(message));
    case SD_FAILURE_TIME_OUT:
      throw ETimeOut(std::move(message));
    case SD_FAILURE_COMMUNICATION:
      throw ECommunicationError(std::move(message));
    case SD_FAILURE_INVALID_ARGUMENT:
      throw EInvalidArgument(std::move(message));
    case SD_FAILURE_RANGE:
      throw ERangeError();
    case SD_FAILURE_UNSUPPORTED:
      throw EUnsupported(std::move(message));
    case SD_FAILURE_FILE:
      throw EFileFailure(std::move(message));
    default:
      throw Exception(std::move(message));
  }
}

// Calls call() (which calls one entry) and gives back what it returns; a refusal comes out as the
// exception of smartdriver/errors.h on every platform. `call` holds nothing that needs a destructor. A
// C++ exception that reaches `call` (the driver calling its own entries shares its runtime with them)
// is carried past sd_call_entry's frame, which it could not unwind, and raised again after it.
template <typename Call>
decltype(auto) CallEntry(Call&& call) {
  using Result = decltype(call());
  struct Context {
    Call* call;
    std::conditional_t<std::is_void_v<Result>, char, Result> result;
    std::exception_ptr failure;
  } context{&call, {}, nullptr};
  SdRefusal refusal{};
  const SdEntryCall run = [](void* p) {
    auto* c = static_cast<Context*>(p);
    try {
      if constexpr (std::is_void_v<Result>) {
        (*c->call)();
      } else {
        c->result = (*c->call)();
      }
    } catch (...) {
      c->failure = std::current_exception();
    }
  };
  if (sd_call_entry(run, &context, &refusal)) ThrowRefusal(refusal);
  if (context.failure) std::rethrow_exception(context.failure);
  if constexpr (!std::is_void_v<Result>) return context.result;
}

// An entry as a C++ host calls it: its function, called through CallEntry.
template <typename F>
class EntryCall {
 public:
  explicit EntryCall(F* function) : function_(function) {}
  template <typename... Args>
  decltype(auto) operator()(Args&&... args) const {
    F* const function = function_;
    return CallEntry([&]() -> decltype(auto) { return function(static_cast<Args&&>(args)...); });
  }
  F* Function() const { return function_; }

 private:
  F* function_;
};

}  // namespace sd
#endif

#endif
