// POSIX paths: drive C of the driver's fixed Windows paths is a directory of this machine.
#include "platform/paths.h"

#include <stdlib.h>

#include <cstdlib>

#include "smartdriver/cp1251.h"

namespace sd::platform {

namespace {
// The variable is both the user's way to choose drive C and how a program's choice reaches the library
// it loads and the children it starts.
constexpr char kDriveCVariable[] = "SMARTDRIVER_DRIVE_C";
}  // namespace

std::string SetDriveCRoot(const std::string& root) {
  const char* before = std::getenv(kDriveCVariable);
  std::string previous = before != nullptr ? before : "";
  if (root.empty()) {
    ::unsetenv(kDriveCVariable);
  } else {
    ::setenv(kDriveCVariable, root.c_str(), 1);
  }
  return previous;
}

std::string DriveCRoot() {
  if (const char* root = std::getenv(kDriveCVariable); root != nullptr && *root != '\0') {
    std::string r = root;
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    return r;
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    return std::string(home) + "/.smartdriver/drive_c";
  return "/tmp/smartdriver/drive_c";
}

std::string FileNameSafe(std::string_view part) {
  std::string out(part);
  for (char& c : out)
    if (c == '/' || c == '\\' || c == '\0') c = '.';
  return out;
}

std::string NativePath(std::string_view windows_path) {
  std::string rest(windows_path);
  std::string out;
  // Only drive C exists here; a path on it starts with "C:" in either letter case.
  if (rest.size() >= 2 && (rest[0] == 'C' || rest[0] == 'c') && rest[1] == ':') {
    out = DriveCRoot();
    rest.erase(0, 2);
  }
  for (char& c : rest)
    if (c == '\\') c = '/';
  if (!out.empty() && !rest.empty() && rest.front() != '/') out += '/';
  return out + text::ToUtf8(rest);
}

std::string DisplayPath(const std::string& native_path) { return native_path; }

}  // namespace sd::platform
