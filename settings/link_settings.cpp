// LinkSettings and its load and save, its keys in the order the file has always been written in.
#include "settings/link_settings.h"

#include <atomic>
#include <mutex>

#include "settings/ansi_text.h"
#include "settings/ini_file.h"

namespace sd::settings {

// Constant-initialised: library start-up loads it before the dynamic initialisers of this file would run.
constinit LinkSettingsBlock LinkSettings;

std::string_view SettingsFileName() { return "C:\\ZEMO\\Kestmark.INI"; }
std::string_view SettingsSection() { return "RemoteDiscount"; }

namespace {
// Constant-initialised, like LogLock, and with nothing to destroy: start-up reaches it from a static
// object's constructor, and the unload may come after this file's destructors. Nothing of it is left on
// the heap when the library goes, however often a host loads it.
std::mutex g_settings_lock;
std::mutex& SettingsLock() { return g_settings_lock; }
}  // namespace

LinkSettingsBlock LinkSettingsSnapshot() {
  std::lock_guard<std::mutex> hold(SettingsLock());
  return LinkSettings;
}

void ReplaceLinkSettings(const LinkSettingsBlock& settings) {
  std::lock_guard<std::mutex> hold(SettingsLock());
  LinkSettings.IP = settings.IP;
  LinkSettings.Port = settings.Port;
  LinkSettings.Portbn = settings.Portbn;
  LinkSettings.bWaitTimeOut = settings.bWaitTimeOut;
  std::atomic_ref<bool>(LinkSettings.bEnableLog).store(settings.bEnableLog, std::memory_order_relaxed);
}

void LoadLinkSettings() {
  const IniFile ini{std::string(SettingsFileName())};
  const std::string_view s = SettingsSection();
  LinkSettingsBlock loaded = LinkSettingsSnapshot();
  loaded.IP = ini.ReadString(s, "IP", loaded.IP);
  loaded.Port = ini.ReadInteger(s, "Port", loaded.Port);
  loaded.Portbn = ini.ReadInteger(s, "Portbn", loaded.Portbn);
  loaded.bWaitTimeOut = ini.ReadInteger(s, "bWaitTimeOut", loaded.bWaitTimeOut);
  loaded.bEnableLog = ini.ReadBool(s, "bEnableLog", loaded.bEnableLog);
  ReplaceLinkSettings(loaded);
}

void SaveLinkSettings() {
  IniFile ini{std::string(SettingsFileName())};
  const LinkSettingsBlock saved = LinkSettingsSnapshot();
  // One replacement of the file for all five keys, so that a failed save leaves the old settings whole
  // instead of some keys new and the rest old.
  ini.WriteStrings(SettingsSection(), {{"IP", saved.IP},
                                       {"Port", IntToStr(saved.Port)},
                                       {"Portbn", IntToStr(saved.Portbn)},
                                       {"bWaitTimeOut", IntToStr(saved.bWaitTimeOut)},
                                       {"bEnableLog", saved.bEnableLog ? "1" : "0"}});
}

}  // namespace sd::settings
