// The settings dialog's life: from the driver's start-up to its shutdown.
#include "settings/cnf_unit.h"

#include <memory>

#include "settings/host_dialog.h"
#include "settings/host_menu.h"

namespace sd::settings {

TConfigKestForm* ConfigKestForm = nullptr;

namespace {

std::unique_ptr<HostConfigFormView> g_view;
std::unique_ptr<TConfigKestForm> g_form;

}  // namespace

void StartSettings() {
  if (g_form != nullptr) return;
  g_view = std::make_unique<HostConfigFormView>();
  g_form = std::make_unique<TConfigKestForm>(*g_view);
  ConfigKestForm = g_form.get();
  ConfigKestForm->FormShow();
  HookHostMenu([] {
    if (ConfigKestForm != nullptr) ConfigKestForm->SettingsMenuClick();
  });
}

void StopSettings() {
  // The entry goes first, so that no click can reach the dialog once it is gone.
  UnhookHostMenu();
  ConfigKestForm = nullptr;
  g_form.reset();
  g_view.reset();
}

}  // namespace sd::settings
