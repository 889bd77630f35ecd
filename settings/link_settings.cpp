// LinkSettings and its load and save, its keys in the order the file has always been written in.
#include "settings/link_settings.h"

#include "settings/ansi_text.h"
#include "settings/ini_file.h"

namespace sd::settings {

// Constant-initialised: library start-up loads it before the dynamic initialisers of this file would run.
constinit LinkSettingsBlock LinkSettings;

std::string_view SettingsFileName() { return "C:\\ZEMO\\Kestmark.INI"; }
std::string_view SettingsSection() { return "RemoteDiscount"; }

void LoadLinkSettings() {
  const IniFile ini{std::string(SettingsFileName())};
  const std::string_view s = SettingsSection();
  LinkSettings.IP = ini.ReadString(s, "IP", LinkSettings.IP);
  LinkSettings.Port = ini.ReadInteger(s, "Port", LinkSettings.Port);
  LinkSettings.Portbn = ini.ReadInteger(s, "Portbn", LinkSettings.Portbn);
  LinkSettings.bWaitTimeOut = ini.ReadInteger(s, "bWaitTimeOut", LinkSettings.bWaitTimeOut);
  LinkSettings.bEnableLog = ini.ReadBool(s, "bEnableLog", LinkSettings.bEnableLog);
}

void SaveLinkSettings() {
  IniFile ini{std::string(SettingsFileName())};
  // One replacement of the file for all five keys, so that a failed save leaves the old settings whole
  // instead of some keys new and the rest old.
  ini.WriteStrings(SettingsSection(), {{"IP", LinkSettings.IP},
                                       {"Port", IntToStr(LinkSettings.Port)},
                                       {"Portbn", IntToStr(LinkSettings.Portbn)},
                                       {"bWaitTimeOut", IntToStr(LinkSettings.bWaitTimeOut)},
                                       {"bEnableLog", LinkSettings.bEnableLog ? "1" : "0"}});
}

}  // namespace sd::settings
