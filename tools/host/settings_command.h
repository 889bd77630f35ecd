// `smartdriver-host settings`: the library's settings dialog reached the way an operator reaches it,
// through its entry in the host's menu. Shows the dialog's fields as its show handler filled them, and
// with --set NAME=VALUE fills controls and closes the dialog with Apply, so the library's own Apply
// handler checks and saves them.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace sd::host {

struct ControlValue {
  std::string name;   // a control of the dialog: edIP, edPort, edPortbn, seTimOut, cbLog
  std::string value;  // UTF-8, as typed
};

// Reads "NAME=VALUE"; UsageError when there is no '=' or no name.
ControlValue ParseControlValue(std::string_view text);

// Makes the host's main form ready to receive the library's entry before the library's start-up looks
// for it: on Windows a real "TMainFrm" window with "&Настройка" in its menu bar, elsewhere nothing (the
// program lends its forms through SmartDriverHostUi).
void PrepareSettings();

// Whether the library has put its settings entry into the host's menu.
bool HasSettingsEntry();

// Clicks the settings entry and prints the dialog; with values, sets them and applies, then prints the
// dialog again as the saved settings fill it. Returns the exit status: 0 shown (and applied); 1 the
// library added no entry, or it showed a message (a bad port: nothing applied); 2 a control refused its
// value (nothing applied).
int RunSettings(const std::vector<ControlValue>& values, std::ostream& out);

}  // namespace sd::host
