// The host's user interface that the Windows platform builds itself over the host's real windows and
// menus, for a host that lends none of its own. Shared by the Windows platform files only.
#pragma once

#include <windows.h>

#include "smartdriver/host_ui.h"

namespace sd::platform::win32 {

// The table over the host's windows: its main form, menu bar, message box and the settings dialog.
const SdHostUi* WindowsHostUi();

// The first top-level window of this process whose class is "TMainFrm" or "MainFrm", letter case
// ignored; nullptr when there is none.
HWND FindMainFrame();

// A message box owned by no window, with one OK button. A console program without a main frame has no
// one to click it, and gets the text on standard error instead.
void WindowsMessageBox(const char* text, const char* caption);

// Shows the settings dialog modally, owned by `owner` (may be nullptr); SD_MODAL_OK or SD_MODAL_CANCEL.
int ShowSettingsDialog(const SdDialog& dialog, HWND owner);

}  // namespace sd::platform::win32
