// The operation log: one time-stamped line per event, appended under LogLock to a file that is moved
// aside under a dated name when it grows past 1 MiB.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sd::log {

// Appends "<short date> <long time> - <text>\r\n" to the log file, unless logging is switched off.
// Control characters in the text (below 0x20, and 0x7F) are written as visible escapes (EscapeControls),
// so that whatever a host, a server or a message holds, the line stays one line.
// Throws sd::EInOutError when the file cannot be opened, written, closed or measured.
void WriteLog(std::string_view text);

// Whether WriteLog writes now. A caller may ask before making a line, so that with the log switched
// off no line is made only to be dropped.
bool LogEnabled();

// The same, for a line written once the request has gone out: a write that fails is lost, not raised,
// so that a full disk never turns an answered operation into a failure. False when it was lost.
bool TryWriteLog(std::string_view text) noexcept;

// The blank line that begins an operation: the text " \r\n", written as it is (the only line whose
// text holds a line break), so that the operation's time stamp stands on a line of its own followed by
// an empty one. Throws as WriteLog does.
void WriteOperationStart();

// The text with each control character written as a visible escape: "\r", "\n" and "\t" for carriage
// return, line feed and tab, "\xHH" (two upper-case hexadecimal digits) for the others and 0x7F. Every
// other byte stays as it is.
std::string EscapeControls(std::string_view text);

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
