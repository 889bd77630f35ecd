// The settings module's start-up and shutdown, run by the driver's: the one settings dialog, created
// hidden with the settings loaded through its show handler, and its entry in the host's menu.
#pragma once

#include "settings/config_form.h"

namespace sd::settings {

// The one dialog while the library is loaded; nullptr before StartSettings and after StopSettings.
extern TConfigKestForm* ConfigKestForm;

// Creates the dialog hidden, runs its FormShow once (LinkSettings loaded from the file), then adds the
// settings entry to the host's menu when the host has one. Logs and writes nothing.
void StartSettings();

// Removes the menu entry, then destroys the dialog. Logs and writes nothing.
void StopSettings();

}  // namespace sd::settings
