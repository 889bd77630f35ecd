// Prints the records' layout as the lists of record_fields.h give it, for the check of the Python
// binding: one line a record, "CardInfo 64 Flag:0:1 CardHead:1:5 ...", each field as name:offset:size.
#include <cstdio>

#include "smartdriver/records.h"

#define SD_PRINT_FIELD(record, name, offset, kind, count) \
  std::printf(" %s:%d:%d", #name, offset, static_cast<int>(sizeof(sd::record::name)));
#define SD_PRINT_RECORD(record, FIELDS, size) \
  std::printf("%s %d", #record, size);        \
  FIELDS(SD_PRINT_FIELD, record) std::printf("\n");

int main() {
  SD_RECORDS(SD_PRINT_RECORD)
  return 0;
}
