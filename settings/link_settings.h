// The module-wide connection settings and their INI file, "C:\ZEMO\Kestmark.INI", section
// "RemoteDiscount". Only start-up and the settings dialog write them, on the host's user-interface
// thread, and whole; an operation, which may run on another thread, reads them as one snapshot.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sd::settings {

struct LinkSettingsBlock {
  std::string IP = "localhost";  // host of both servers, Windows-1251
  std::int32_t Port = 6010;      // discount server
  std::int32_t bWaitTimeOut = 10000;  // milliseconds an operation waits for its reply
  bool bEnableLog = true;        // whether the operation log is written
  std::int32_t Portbn = 6010;    // cashless server
};

extern LinkSettingsBlock LinkSettings;

// A copy of all the settings, taken under the settings' lock: an operation takes one as it starts and
// uses nothing else, so a dialog that replaces them meanwhile changes neither its address nor its wait.
LinkSettingsBlock LinkSettingsSnapshot();

// Replaces the settings whole, under the same lock. The log's switch (bEnableLog), which the log reads
// without that lock, is written atomically.
void ReplaceLinkSettings(const LinkSettingsBlock& settings);

// The settings file's Windows path (Windows-1251) and its section.
std::string_view SettingsFileName();
std::string_view SettingsSection();

// Reads the five keys into LinkSettings; a missing file, section or key, or an integer key that is not a
// whole number, leaves its field as it is.
void LoadLinkSettings();

// Writes all five keys, changed or not, in one replacement of the file. Raises EIniFileException when the
// file cannot be written; it then holds the old settings, all of them.
void SaveLinkSettings();

}  // namespace sd::settings
