/* The fields of the records that the driver fills in the host's memory, each listed once, in C that C++
 * can include too: the C++ records (records.h), the C interface's structs (smartdriver_c.h), the checks
 * that lay both over the host's bytes, the host tool's printer and the check of the Python binding are
 * all made from these lists, so that none of them can drift from the layout a till relies on. */
#ifndef SMARTDRIVER_RECORD_FIELDS_H
#define SMARTDRIVER_RECORD_FIELDS_H

#include <stdint.h>

/* SD_<RECORD>_FIELDS(XX, r) calls XX(r, name, offset, kind, count) once per field, in the order of the
 * record's bytes; r is passed through untouched, for the caller to name the record. offset is where the
 * host's contract places the field, in bytes from the record's start; the records are packed. kind says
 * how the field is stored and shown:
 *   Byte    one unsigned byte                         Char    one Windows-1251 character
 *   Text    a length byte, then up to count Windows-1251 characters, not zero-terminated
 *   Bytes   count bytes, shown as hex                 Unused  count bytes the driver never writes
 *   Spare   one byte the driver never writes
 *   Double  a double                                  Date    a double: days since 30 December 1899 */

/* CardInfo, and SdCardInfo of the C interface. */
#define SD_CARD_INFO_FIELDS(XX, r)                                                                        \
  XX(r, Flag, 0, Byte, 1)         /* 255 from BlankCardInfo; GetCardInfo leaves it */                   \
  XX(r, CardHead, 1, Text, 4)     /* characters 1 to 4 of the card number text */                       \
  XX(r, CardTail, 6, Text, 6)     /* characters 5 to 10 of the card number text */                      \
  XX(r, Unused13, 13, Unused, 3)                                                                          \
  XX(r, Value16, 16, Bytes, 8)    /* all zero from BlankCardInfo; GetCardInfo leaves it */              \
  XX(r, ValidUntil, 24, Date, 1)  /* now plus 10 days */                                                \
  XX(r, Amount32, 32, Double, 1)  /* 0 from GetCardInfo, 1000 from BlankCardInfo */                     \
  XX(r, Amount40, 40, Double, 1)  /* as Amount32 */                                                     \
  XX(r, Amount48, 48, Double, 1)  /* as Amount32 */                                                     \
  XX(r, Amount56, 56, Double, 1)  /* as Amount32 */

/* DiscountResult, and SdDiscountResult of the C interface. */
#define SD_DISCOUNT_RESULT_FIELDS(XX, r)                                                                  \
  XX(r, Flag, 0, Byte, 1)         /* 255 at the start of the operation */                               \
  XX(r, Unused1, 1, Spare, 1)                                                                             \
  XX(r, TypeOper, 2, Char, 1)     /* 0 at the start; the operation code after success */                \
  XX(r, Byte3, 3, Byte, 1)        /* 0 at the start */                                                  \
  XX(r, Byte4, 4, Byte, 1)        /* 0 at the start */                                                  \
  XX(r, Unused5, 5, Unused, 4)                                                                            \
  XX(r, NumberCard, 9, Text, 16)  /* empty at the start; the card number text after success */          \
  XX(r, Unused26, 26, Unused, 6)                                                                          \
  XX(r, SummaSk, 32, Double, 1)   /* line sum after discount */                                         \
  XX(r, Summa, 40, Double, 1)     /* line sum as passed */                                              \
  XX(r, Price, 48, Double, 1)     /* unit price before discount */                                      \
  XX(r, CosteSk, 56, Double, 1)   /* unit price after discount */                                       \
  XX(r, Skidka, 64, Double, 1)    /* discount in percent */

/* CashlessResult, and SdCashlessResult of the C interface. */
#define SD_CASHLESS_RESULT_FIELDS(XX, r)                                                                  \
  XX(r, Flag, 0, Byte, 1)         /* 255 at the start of the operation */                               \
  XX(r, Byte1, 1, Byte, 1)        /* 0 at the start */                                                  \
  XX(r, Unused2, 2, Unused, 8)                                                                            \
  XX(r, NumberCard, 10, Text, 20) /* empty at the start; the card number text */                        \
  XX(r, Unused31, 31, Unused, 121)                                                                        \
  XX(r, SummaSk, 152, Double, 1)  /* line sum after discount */                                         \
  XX(r, Skidka, 160, Double, 1)   /* discount in percent */                                             \
  XX(r, PriceSk, 168, Double, 1)  /* unit price after discount */

/* SD_RECORDS(XX) calls XX(record, FIELDS, size) once per record: its name (the C interface's struct is
 * Sd<record>), the list of its fields and its size in bytes. */
#define SD_RECORDS(XX)                                \
  XX(CardInfo, SD_CARD_INFO_FIELDS, 64)               \
  XX(DiscountResult, SD_DISCOUNT_RESULT_FIELDS, 72)   \
  XX(CashlessResult, SD_CASHLESS_RESULT_FIELDS, 176)

/* The declaration of a field from its row's kind: SD_FIELD_<kind>(name, count, text type), where the
 * text type is the declaring language's type of a Text field of count characters. */
#define SD_FIELD_Byte(name, count, text) uint8_t name;
#define SD_FIELD_Char(name, count, text) char name;
#define SD_FIELD_Text(name, count, text) text name;
#define SD_FIELD_Bytes(name, count, text) uint8_t name[count];
#define SD_FIELD_Unused(name, count, text) uint8_t name[count];
#define SD_FIELD_Spare(name, count, text) uint8_t name;
#define SD_FIELD_Double(name, count, text) double name;
#define SD_FIELD_Date(name, count, text) double name;

#endif /* SMARTDRIVER_RECORD_FIELDS_H */
