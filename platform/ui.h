// The host's user interface as the platform provides it: the table through which the library reaches the
// host's forms, menus, message box and dialogs (include/smartdriver/host_ui.h).
//
// On POSIX the host lends it by exporting SmartDriverHostUi; without that there is no host interface and
// a message box becomes a line on standard error. On Windows the platform builds the table itself over
// the host's real windows and menus.
#pragma once

#include <string_view>

#include "smartdriver/host_ui.h"

namespace sd::platform {

// The host's interface, or nullptr when the host offers none (or one of a size or version not known).
const SdHostUi* HostUi();

// Installs a table in place of the host's (nullptr goes back to the host's); returns the one it replaced.
const SdHostUi* SetHostUi(const SdHostUi* ui);

// A message box owned by no window, with one OK button: the host's, or standard error without one.
// Texts are Windows-1251.
void ShowMessageBox(std::string_view text, std::string_view caption);

}  // namespace sd::platform
