// The check command: reads the settings file as the driver reads it, tries the log folder, resolves the
// servers' address and connects to both ports within the operation's wait, sending nothing.
#include "tools/host/check_command.h"

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "exchange/call_server.h"
#include "exchange/send_thread.h"
#include "log/operation_log.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "settings/ini_file.h"
#include "settings/link_settings.h"
#include "smartdriver/cp1251.h"
#include "transport/socket_ops.h"
#include "transport/tcp_client.h"

namespace sd::host {
namespace {

// A message on one line: the socket texts carry a line break between the code and its words.
std::string OneLine(std::string_view cp1251) {
  std::string line = text::ToUtf8(cp1251);
  for (std::size_t at; (at = line.find("\r\n")) != std::string::npos;) line.replace(at, 2, " ");
  return line;
}

// One key of the settings: its value and whether the file gave it. An integer key whose text is not a
// whole number keeps the built-in value, as the driver does, and says so.
struct Setting {
  std::string value;
  std::string origin;
};

Setting ReadSetting(const settings::IniFile& ini, std::string_view key, std::int32_t fallback) {
  const std::string_view s = settings::SettingsSection();
  const std::string raw = ini.ReadString(s, key, "\x01");
  if (raw == "\x01") return {std::to_string(fallback), "default"};
  const std::int32_t value = ini.ReadInteger(s, key, fallback);
  if (value != ini.ReadInteger(s, key, fallback == 0 ? 1 : 0))
    return {std::to_string(fallback), "default: the file's \"" + text::ToUtf8(raw) + "\" is not a whole number"};
  return {std::to_string(value), "file"};
}

void Step(std::ostream& out, bool& all, const std::string& what, const std::string& failure) {
  out << what << ": " << (failure.empty() ? "ok" : failure) << '\n';
  if (!failure.empty()) all = false;
}

// Opens the log for appending as the driver does, creating it when missing, and adds nothing.
std::string LogFolderFailure(const std::string& log_path) {
  std::int64_t size = 0;
  const int code = platform::Files().append(log_path, {}, &size);
  if (code != 0) return "I/O error " + std::to_string(code);
  return {};
}

std::string ConnectFailure(const std::string& host, std::int32_t port, int wait_ms) {
  if (port < 1 || port > 65535) return exchange::PortOutsideRange(port);
  try {
    transport::TcpClient client;
    client.SetHost(host);
    client.SetPort(port);
    client.SetConnectTimeout(wait_ms);
    client.OpenConnection();
    const bool connected = client.IsConnected();
    client.CloseConnection();
    if (!connected) return OneLine(std::string(exchange::kExchangeFailurePrefix) + "Connection Closed Gracefully.");
  } catch (const std::exception& e) {
    return OneLine(std::string(exchange::kExchangeFailurePrefix) + e.what());
  }
  return {};
}

}  // namespace

bool RunCheck(int wallet, const CardQuery& query, std::ostream& out) {
  const settings::IniFile ini{std::string(settings::SettingsFileName())};
  const std::string ini_path = platform::NativePath(settings::SettingsFileName());
  const bool file = platform::Files().exists(ini_path);
  out << "settings file " << platform::DisplayPath(ini_path) << (file ? "" : " (missing: built-in values)") << '\n';
  const settings::LinkSettingsBlock defaults;
  const std::string_view section = settings::SettingsSection();
  const std::string ip_raw = ini.ReadString(section, "IP", "\x01");
  const std::string ip = ip_raw == "\x01" ? defaults.IP : ip_raw;
  out << "  IP = " << text::ToUtf8(ip) << " (" << (ip_raw == "\x01" ? "default" : "file") << ")\n";
  const Setting port = ReadSetting(ini, "Port", defaults.Port);
  const Setting portbn = ReadSetting(ini, "Portbn", defaults.Portbn);
  const Setting wait = ReadSetting(ini, "bWaitTimeOut", defaults.bWaitTimeOut);
  const Setting log = ReadSetting(ini, "bEnableLog", defaults.bEnableLog ? 1 : 0);
  for (const auto& [key, setting] : {std::pair{"Port", port}, {"Portbn", portbn}, {"bWaitTimeOut", wait},
                                     {"bEnableLog", log}})
    out << "  " << key << " = " << setting.value << " (" << setting.origin << ")\n";

  bool all = true;
  const std::string log_path = platform::NativePath(log::LogPath());
  if (log.value == "0") {
    out << "log folder: ok (logging is off)\n";
  } else {
    Step(out, all, "log folder " + platform::DisplayPath(log_path.substr(0, log_path.find_last_of("/\\"))),
         LogFolderFailure(log_path));
  }

  // As an operation waits: a negative setting is taken as 10000 ms.
  const int wait_ms = std::stoi(wait.value) < 0 ? 10000 : std::stoi(wait.value);
  std::string resolved;
  std::string failure;
  try {
    resolved = transport::ResolveToAddress(ip, wait_ms);
  } catch (const std::exception& e) {
    failure = OneLine(std::string(exchange::kExchangeFailurePrefix) + e.what());
  }
  Step(out, all, "address " + text::ToUtf8(ip) + (resolved.empty() ? "" : " = " + resolved), failure);
  if (!failure.empty()) return false;
  Step(out, all, "discount server port " + port.value, ConnectFailure(ip, std::stoi(port.value), wait_ms));
  Step(out, all, "cashless server port " + portbn.value, ConnectFailure(ip, std::stoi(portbn.value), wait_ms));

  if (wallet >= 0) {
    std::string card;
    const std::string raised = query(wallet, &card);
    Step(out, all, "card query for wallet " + std::to_string(wallet) + (raised.empty() ? " (card " + card + ")" : ""),
         raised);
  }
  return all;
}

}  // namespace sd::host
