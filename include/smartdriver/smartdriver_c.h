/* The flat C interface to the driver, for hosts in any language (C, Python's ctypes, ...): the library
 * libsmartdriver-c loads the driver library, asks it for its object with GeTDriver and calls the entries
 * through the object's table. No C++ exception ever leaves a function of this interface.
 *
 * Every operation returns SD_OK (0) or one of the SD_E* codes below. Arguments are checked before the
 * driver is called, and a value the wire cannot carry is refused with SD_EARGUMENT, never wrapped or cut:
 * a wallet is 0..255; quantities and sums are finite, not negative, and fit the request's fields once
 * scaled (thousandths of a quantity, hundredths of a sum and of the unit price sum / quantity). When the caller passes a message
 * buffer (message, message_size), the operator message of a failure is copied into it, zero-terminated
 * and cut to fit without splitting a character; on success the buffer holds the empty text. Texts go in
 * and come out in the encoding chosen when the driver was opened: SD_UTF8 or SD_CP1251 (Windows-1251, the
 * driver's own). The text fields of the records are always the driver's Windows-1251 bytes.
 *
 * A record is cleared to all zero bytes before its entry is called and is left as the entry wrote it,
 * also when the entry failed (a refused payment still carries the card and amounts of the reply).
 * Operations block for at most the reply time-out of the driver's settings. One driver handle at a time
 * is used by one thread; operations of the driver must not overlap. */
#ifndef SMARTDRIVER_C_H
#define SMARTDRIVER_C_H

#include <stddef.h>
#include <stdint.h>

#include "smartdriver/record_fields.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(SD_C_BUILDING)
#define SD_C_API __declspec(dllexport)
#else
#define SD_C_API __declspec(dllimport)
#endif
#else
#define SD_C_API __attribute__((visibility("default")))
#endif

/* Return codes: one for each kind of failure a program may act on differently. The operator message of
 * the failure comes with each (the driver's own text when the driver raised it). */
#define SD_OK 0
#define SD_EOTHER 1         /* the driver raised a failure of none of the kinds below */
#define SD_EUNKNOWN 2       /* the driver raised something that is not a failure with a message */
#define SD_ELOAD 3          /* the library could not be loaded, lacks GeTDriver, or GeTDriver failed */
#define SD_EARGUMENT 4      /* an argument refused before the driver was called (a null handle, record or
                               path, an unknown encoding or operation, a wallet outside 0..255, an amount
                               that is not finite or does not fit the wire, a card number that is not 1 to
                               10 digits, a text Windows-1251 cannot hold, a version buffer too small), or
                               one the driver could not send */
#define SD_EREFUSED 5       /* the server answered and did not approve: do not repeat the operation as is */
#define SD_ETIMEOUT 6       /* no reply within the wait; the server may have done it: check before repeating */
#define SD_ECOMMUNICATION 7 /* no connection, a hang-up, a damaged reply, or a failed exchange */
#define SD_EIO 8            /* the operation log or the settings file could not be read or written */
#define SD_ENOTSUPPORTED 9  /* the driver does not implement the operation */
#define SD_EFAILED SD_EOTHER /* the earlier name of SD_EOTHER */

/* Encodings of the texts passed to and returned by this interface. */
#define SD_UTF8 0
#define SD_CP1251 1

/* A message buffer of this size holds any operator message of the driver. */
#define SD_MESSAGE_SIZE 512

#pragma pack(push, 1)

/* Length-prefixed texts: a length byte, then up to N Windows-1251 characters, not zero-terminated. */
typedef struct SdText4 { uint8_t length; char chars[4]; } SdText4;
typedef struct SdText6 { uint8_t length; char chars[6]; } SdText6;
typedef struct SdText16 { uint8_t length; char chars[16]; } SdText16;
typedef struct SdText20 { uint8_t length; char chars[20]; } SdText20;

/* The records' fields are listed, with their offsets, in record_fields.h. */
#define SD_C_FIELD(record, name, offset, kind, count) SD_FIELD_##kind(name, count, SdText##count)

/* Filled by sd_card_info and sd_blank_card_info; 64 bytes. Dates count days since 30 December 1899. */
typedef struct SdCardInfo {
  SD_CARD_INFO_FIELDS(SD_C_FIELD, CardInfo)
} SdCardInfo;

/* Filled by sd_discount and sd_forward_discount; 72 bytes. */
typedef struct SdDiscountResult {
  SD_DISCOUNT_RESULT_FIELDS(SD_C_FIELD, DiscountResult)
} SdDiscountResult;

/* Filled by sd_cashless_sale and sd_cashless_return; 176 bytes. */
typedef struct SdCashlessResult {
  SD_CASHLESS_RESULT_FIELDS(SD_C_FIELD, CashlessResult)
} SdCashlessResult;

#undef SD_C_FIELD
#pragma pack(pop)

/* The name of a return code ("ok", "refused", "time-out", "communication", "argument", "io",
 * "not-supported", "load", "unknown", "other"); "other" for a code not listed above. */
SD_C_API const char* sd_error_name(int code);

/* One loaded driver library and its driver object. */
typedef struct SdDriver SdDriver;

/* Loads the driver library at library_path (a file path, never searched for), calls GeTDriver and
 * returns the handle in *driver. encoding is SD_UTF8 or SD_CP1251 for every text of this handle. The
 * library reads its settings when it is loaded. */
SD_C_API int sd_open(const char* library_path, int encoding, SdDriver** driver, char* message,
                     size_t message_size);

/* Releases the driver object and unloads the library; its threads are gone afterwards. NULL is allowed. */
SD_C_API void sd_close(SdDriver* driver);

/* The driver's version text, zero-terminated, into text (at least 17 bytes). */
SD_C_API int sd_version(SdDriver* driver, char* text, size_t text_size, char* message, size_t message_size);

/* Which card the cashless server reports for a wallet. */
SD_C_API int sd_card_info(SdDriver* driver, int wallet, SdCardInfo* record, char* message,
                          size_t message_size);

/* The record of fixed values, without a server. */
SD_C_API int sd_blank_card_info(SdDriver* driver, SdCardInfo* record, char* message, size_t message_size);

/* A discount operation: type_oper '-' starts a sale, 'M' asks for the discount of a line, '+' cancels
 * the sale. card_text (NULL for none) is the card as the cashier gave it. */
SD_C_API int sd_discount(SdDriver* driver, char type_oper, int wallet, double quantity, double sum,
                         const char* card_text, SdDiscountResult* record, char* message, size_t message_size);

/* The same through the forwarding entry, with its two texts (NULL for none). */
SD_C_API int sd_forward_discount(SdDriver* driver, char type_oper, int wallet, double quantity, double sum,
                                 const char* text1, const char* text2, SdDiscountResult* record, char* message,
                                 size_t message_size);

/* A payment of a line from the card's cashless account. */
SD_C_API int sd_cashless_sale(SdDriver* driver, int wallet, double quantity, double sum,
                              SdCashlessResult* record, char* message, size_t message_size);

/* A line given back to the card with the number card_number. */
SD_C_API int sd_cashless_return(SdDriver* driver, const char* card_number, int wallet, double quantity,
                                double sum, SdCashlessResult* record, char* message, size_t message_size);

#ifdef __cplusplus
}
#endif

#endif /* SMARTDRIVER_C_H */
