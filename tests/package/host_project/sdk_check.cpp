// Every SDK header compiles in a host of its own, and the C interface's records match the SDK's.
#include <cstdio>

#include "smartdriver/cp1251.h"
#include "smartdriver/entries.h"
#include "smartdriver/errors.h"
#include "smartdriver/host_text.h"
#include "smartdriver/host_ui.h"
#include "smartdriver/records.h"
#include "smartdriver/refusal.h"
#include "smartdriver/smartdriver_c.h"

using namespace sd::literals;

static_assert(sizeof(SdCardInfo) == sizeof(sd::CardInfo));
static_assert(sizeof(SdDiscountResult) == sizeof(sd::DiscountResult));
static_assert(sizeof(SdCashlessResult) == sizeof(sd::CashlessResult));

int main() {
  const sd::HostText text("Скидка"_w);
  std::printf("sdk: %s\n", sd::text::ToUtf8(sd::ReadHostText(text.arg())).c_str());
  return sd::ReadHostText(text.arg()).size() == 6 ? 0 : 1;
}
