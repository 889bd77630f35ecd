// POSIX has no windows of its own: the host program lends its interface through the exported
// SmartDriverHostUi, found in the process's global symbols, and without it a message box becomes a line
// on standard error.
#include "platform/ui_system.h"

#include <dlfcn.h>

namespace sd::platform::system_ui {

const SdHostUi* LookUpHostUi() {
  void* symbol = ::dlsym(RTLD_DEFAULT, SD_HOST_UI_SYMBOL);
  if (symbol == nullptr) return nullptr;
  return reinterpret_cast<SdHostUiFunction>(symbol)();
}

void ShowMessageBox(std::string_view text, std::string_view caption) { MessageToStandardError(text, caption); }

}  // namespace sd::platform::system_ui
