// The host's user interface on Windows: a table the host lends by exporting SmartDriverHostUi from its
// program (as on every system), or else the one the platform builds over the host's real windows and
// menus (platform/win32/host_windows.cpp).
#include "platform/ui_system.h"

#include <windows.h>

#include <string>

#include "platform/win32/host_windows.h"

namespace sd::platform::system_ui {

const SdHostUi* LookUpHostUi() {
  const HMODULE program = ::GetModuleHandleW(nullptr);
  const FARPROC symbol = program != nullptr ? ::GetProcAddress(program, SD_HOST_UI_SYMBOL) : nullptr;
  if (symbol == nullptr) return win32::WindowsHostUi();
  return reinterpret_cast<SdHostUiFunction>(reinterpret_cast<void*>(symbol))();
}

void ShowMessageBox(std::string_view text, std::string_view caption) {
  win32::WindowsMessageBox(std::string(text).c_str(), std::string(caption).c_str());
}

}  // namespace sd::platform::system_ui
