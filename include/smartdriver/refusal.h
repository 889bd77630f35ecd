/* How a refusal reaches a Windows host that cannot catch the driver's C++ exceptions (any host not built
 * with the driver's own MinGW-w64 runtime): as the structured exception SD_REFUSAL_CODE, raised with
 * RaiseException and flagged non-continuable. Its three arguments are the address of the zero-terminated
 * Windows-1251 operator message, the message's length and its kind. The message stays valid until the
 * next refusal on the same thread.
 *
 * The header is plain C and needs no Windows header: a host hands sd_read_refusal the EXCEPTION_RECORD
 * that its handler received. */
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
  SD_REFUSAL_ARG_COUNT = 3
};

/* The kinds follow the runtime's exception classes of smartdriver/errors.h. */
enum {
  SD_REFUSAL_GENERAL = 1,     /* sd::Exception, and whatever is none of the below */
  SD_REFUSAL_ABSTRACT = 2,    /* sd::EAbstractError */
  SD_REFUSAL_CONVERSION = 3,  /* sd::EConvertError */
  SD_REFUSAL_ZERO_DIVIDE = 4, /* sd::EZeroDivide */
  SD_REFUSAL_IN_OUT = 5       /* sd::EInOutError */
};

typedef struct SdRefusal {
  const char* message; /* Windows-1251, zero-terminated */
  size_t length;
  int kind;
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
  if (record == NULL || record->code != SD_REFUSAL_CODE || record->argument_count < SD_REFUSAL_ARG_COUNT) {
    return 0;
  }
  out->message = (const char*)record->arguments[SD_REFUSAL_ARG_MESSAGE];
  out->length = (size_t)record->arguments[SD_REFUSAL_ARG_LENGTH];
  out->kind = (int)record->arguments[SD_REFUSAL_ARG_KIND];
  return 1;
}

#endif
