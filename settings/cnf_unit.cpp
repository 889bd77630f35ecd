// The settings dialog's life: from the driver's start-up to its shutdown.
#include "settings/cnf_unit.h"

#include "settings/host_dialog.h"
#include "settings/host_menu.h"

namespace sd::settings {

// Raw pointers, owned from StartSettings to StopSettings: the driver runs both from a static object's
// constructor and destructor, which may come before this file's initialisers and after its destructors.
constinit TConfigKestForm* ConfigKestForm = nullptr;

namespace {

constinit HostConfigFormView* g_view = nullptr;

}  // namespace

void StartSettings() {
  if (ConfigKestForm != nullptr) return;
  g_view = new HostConfigFormView;
  ConfigKestForm = new TConfigKestForm(*g_view);
  ConfigKestForm->FormShow();
  HookHostMenu([] {
    if (ConfigKestForm != nullptr) ConfigKestForm->SettingsMenuClick();
  });
}

void StopSettings() {
  // The entry goes first, so that no click can reach the dialog once it is gone.
  UnhookHostMenu();
  delete ConfigKestForm;
  ConfigKestForm = nullptr;
  delete g_view;
  g_view = nullptr;
}

}  // namespace sd::settings
