// Windows paths: the driver's fixed paths are used as written, on the real drive C. A test or a tool may
// put drive C elsewhere for its process, the libraries it loads and the programs it starts; the choice
// travels in the process's environment, which a till never sets.
#include "platform/paths.h"

#include <windows.h>

#include <string>

#include "platform/win32/text_win32.h"

namespace sd::platform {

namespace {
constexpr wchar_t kDriveCVariable[] = L"SMARTDRIVER_DRIVE_C";
}  // namespace

std::string SetDriveCRoot(const std::string& root) {
  const std::string previous = DriveCRoot();
  ::SetEnvironmentVariableW(kDriveCVariable, root.empty() ? nullptr : win32::Wide(root).c_str());
  return previous;
}

std::string DriveCRoot() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(kDriveCVariable, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::string root = win32::Narrow(std::wstring_view(buffer, length));
  while (root.size() > 3 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
  return root;
}

std::string FileNameSafe(std::string_view part) {
  std::string out(part);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' || c == '|' ||
        c == '?' || c == '*')
      c = '.';
  }
  return out;
}

std::string NativePath(std::string_view windows_path) {
  const std::string root = DriveCRoot();
  if (root.empty() || windows_path.size() < 2 || (windows_path[0] != 'C' && windows_path[0] != 'c') ||
      windows_path[1] != ':')
    return std::string(windows_path);
  std::string rest(windows_path.substr(2));
  if (!rest.empty() && rest.front() != '\\' && rest.front() != '/') rest.insert(rest.begin(), '\\');
  return root + rest;
}

std::string DisplayPath(const std::string& native_path) { return text::ToUtf8(native_path); }

}  // namespace sd::platform
