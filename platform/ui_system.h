// What each platform's ui.cpp gives the host-interface service of platform/ui.cpp: the table the host
// lends, looked up in the process, and the message box for a host that lends none. Shared by the
// platform files only.
#pragma once

#include <string_view>

#include "smartdriver/host_ui.h"

namespace sd::platform::system_ui {

// The host's own table, as the platform finds it; nullptr when there is none.
const SdHostUi* LookUpHostUi();

// The platform's message box owned by no window, with one OK button. Texts are Windows-1251.
void ShowMessageBox(std::string_view text, std::string_view caption);

// The same message as one UTF-8 line on standard error, for a program that has no one to click a box.
void MessageToStandardError(std::string_view text, std::string_view caption);

}  // namespace sd::platform::system_ui
