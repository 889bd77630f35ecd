/* A host on the flat C interface: opens the driver, reads its version and a blank card record, and
 * shows the message of an operation that fails. The driver's path is the first argument or the
 * installed one. */
#include <stdio.h>
#include <string.h>

#include "smartdriver/smartdriver_c.h"

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : SD_DRIVER_PATH;
  char message[SD_MESSAGE_SIZE];
  SdDriver* driver = NULL;
  if (sd_open(path, SD_UTF8, &driver, message, sizeof message) != SD_OK) {
    fprintf(stderr, "tiny_host: %s\n", message);
    return 1;
  }
  char version[32];
  SdCardInfo card;
  SdDiscountResult line;
  int status = 0;
  if (sd_version(driver, version, sizeof version, message, sizeof message) == SD_OK &&
      sd_blank_card_info(driver, &card, message, sizeof message) == SD_OK) {
    printf("version %s, blank card flag %d amount %.0f\n", version, card.Flag, card.Amount32);
  } else {
    printf("failed: %s\n", message);
    status = 1;
  }
  int code = sd_discount(driver, 'M', 1, 2.0, 100.0, "Покупатель", &line, message, sizeof message);
  printf("discount: code %d (%s), message %s\n", code, sd_error_name(code), message);
  /* A wallet the wire cannot carry is refused before the driver is called. */
  code = sd_card_info(driver, 256, &card, message, sizeof message);
  printf("card-info 256: code %d (%s), message %s\n", code, sd_error_name(code), message);
  sd_close(driver);
  return status;
}
