// The operation log: one time-stamped line per event, appended under LogLock to a file that is moved
// aside under a dated name when it grows past 1 MiB.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sd::log {

// Appends "<short date> <long time> - <text>\r\n" to the log file, unless logging is switched off.
// Throws sd::EInOutError when the file cannot be opened, written, closed or measured.
void WriteLog(std::string_view text);

// Whether WriteLog writes now. A caller may ask before making a line, so that with the log switched
// off no line is made only to be dropped.
bool LogEnabled();

// The switch that WriteLog reads at the start of every write. The driver points it at the setting
// LinkSettings.bEnableLog; until then logging is on.
void BindLogSwitch(const bool* enabled);

// Size in bytes of the file at a Windows path, 0 when there is none; sd::EInOutError when it exists
// but cannot be measured.
std::int64_t LogFileSize(std::string_view windows_path);

// The log file's Windows path (Windows-1251).
std::string_view LogPath();

// The largest size the log file may keep; a write that makes it larger moves it aside.
inline constexpr std::int64_t kRotateAbove = 1048576;

}  // namespace sd::log
