// Module start-up and shutdown of the driver library.
#include "driver/module.h"

#include "exchange/exchange_module.h"
#include "log/operation_log.h"
#include "platform/clock.h"
#include "settings/link_settings.h"
#include "settings/cnf_unit.h"
#include "transport/socket_stack.h"

namespace sd::driver {

namespace {
// Set when start-up ran under the loader lock and left the settings for the host's thread.
constinit bool g_settings_deferred = false;
}  // namespace

void StartModule(bool under_loader_lock) {
  platform::PrepareClock();
  exchange::StartExchangeModule();
  g_settings_deferred = under_loader_lock;
  if (!g_settings_deferred) settings::StartSettings();
  log::BindLogSwitch(&settings::LinkSettings.bEnableLog);
}

void FinishStartOnHostThread() {
  if (!g_settings_deferred) return;
  g_settings_deferred = false;
  settings::StartSettings();
}

void StopModule(bool under_loader_lock) {
  // Exchange threads that outlived their operation's wait still use the log and the event: they end on
  // their own within their limits, and unload waits for them before anything goes.
  exchange::StopExchangeModule();
  settings::StopSettings();
  log::BindLogSwitch(nullptr);
  if (!under_loader_lock) transport::StopSocketLibrary();
}

}  // namespace sd::driver
