// Module start-up and shutdown of the driver library.
#include "driver/module.h"

#include "exchange/exchange_module.h"
#include "log/operation_log.h"
#include "platform/clock.h"
#include "settings/link_settings.h"
#include "settings/cnf_unit.h"
#include "transport/socket_stack.h"

namespace sd::driver {

void StartModule() {
  platform::PrepareClock();
  exchange::StartExchangeModule();
  settings::StartSettings();
  log::BindLogSwitch(&settings::LinkSettings.bEnableLog);
}

void StopModule() {
  // Exchange threads that outlived their operation's wait still use the log and the event: they end on
  // their own within their limits, and unload waits for them before anything goes.
  exchange::StopExchangeModule();
  settings::StopSettings();
  log::BindLogSwitch(nullptr);
  transport::StopSocketLibrary();
}

}  // namespace sd::driver
