// The driver's fixed Windows paths ("C:\ZEMO\Kestmark.INI") as paths of this operating system.
//
// On POSIX, drive C is the directory named by SMARTDRIVER_DRIVE_C (as a Wine prefix's drive_c stands for
// it); unset, it is $HOME/.smartdriver/drive_c, or /tmp/smartdriver/drive_c without a HOME. Backslashes
// become separators and the Windows-1251 name becomes UTF-8. On Windows the path is used as it is.
#pragma once

#include <string>
#include <string_view>

namespace sd::platform {

// The native path of a Windows path written in Windows-1251.
std::string NativePath(std::string_view windows_path);

// A name part with every character that a file name here cannot carry replaced by '.'; a part that is
// already valid comes back unchanged. (A backslash counts too: it is a separator of the Windows paths.)
std::string FileNameSafe(std::string_view part);

// The directory that stands for drive C (POSIX only; empty on Windows).
std::string DriveCRoot();

}  // namespace sd::platform
