// The driver's fixed Windows paths ("C:\ZEMO\Kestmark.INI") as paths of this operating system.
//
// Drive C is a directory of this machine that a program may choose for itself with SetDriveCRoot (a test
// its temporary directory, the host tool its --drive-c option). On POSIX the environment variable
// SMARTDRIVER_DRIVE_C names it as well (as a Wine prefix's drive_c stands for drive C); with neither, it is
// $HOME/.smartdriver/drive_c, or /tmp/smartdriver/drive_c without a HOME. Backslashes become separators
// and the Windows-1251 name becomes UTF-8. On Windows drive C is the real C:\ unless a program set
// another root, and the rest of the path is used as it is.
#pragma once

#include <string>
#include <string_view>

namespace sd::platform {

// The native path of a Windows path written in Windows-1251.
std::string NativePath(std::string_view windows_path);

// A native path in UTF-8, as a tool prints it (Windows' native paths here are in Windows-1251).
std::string DisplayPath(const std::string& native_path);

// A name part with every character that a file name here cannot carry replaced by '.'; a part that is
// already valid comes back unchanged. (A backslash counts too: it is a separator of the Windows paths.)
std::string FileNameSafe(std::string_view part);

// The native directory that stands for drive C now.
std::string DriveCRoot();

// Makes `root` (a native directory) drive C for the whole process: for this program, for every library
// it has loaded or loads (each has its own copy of this layer, so the root travels in the process's
// environment) and for the child processes it starts from now on. An empty root brings back the
// platform's own. Returns the root set before ("" for the platform's own). Not for use while other
// threads work with paths.
std::string SetDriveCRoot(const std::string& root);

}  // namespace sd::platform
