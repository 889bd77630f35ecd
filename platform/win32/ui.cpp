// The host's user interface on Windows: a table the host lends by exporting SmartDriverHostUi from its
// program (as on every system), or else the one the platform builds over the host's real windows and
// menus (platform/win32/host_windows.cpp).
#include "platform/ui.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/win32/host_windows.h"

namespace sd::platform {
namespace {

constinit std::atomic<const SdHostUi*> g_installed{nullptr};

bool Usable(const SdHostUi* ui) {
  return ui != nullptr && ui->version == SD_HOST_UI_VERSION && ui->size >= sizeof(SdHostUi);
}

const SdHostUi* LookUpHostUi() {
  const HMODULE program = ::GetModuleHandleW(nullptr);
  const FARPROC symbol = program != nullptr ? ::GetProcAddress(program, SD_HOST_UI_SYMBOL) : nullptr;
  if (symbol == nullptr) return win32::WindowsHostUi();
  return reinterpret_cast<SdHostUiFunction>(reinterpret_cast<void*>(symbol))();
}

}  // namespace

const SdHostUi* HostUi() {
  const SdHostUi* ui = g_installed.load(std::memory_order_acquire);
  if (ui == nullptr) ui = LookUpHostUi();
  return Usable(ui) ? ui : nullptr;
}

const SdHostUi* SetHostUi(const SdHostUi* ui) { return g_installed.exchange(ui, std::memory_order_acq_rel); }

void ShowMessageBox(std::string_view text, std::string_view caption) {
  const std::string t(text), c(caption);
  if (const SdHostUi* ui = HostUi(); ui != nullptr && ui->message_box != nullptr) {
    ui->message_box(ui->host, t.c_str(), c.c_str());
    return;
  }
  win32::WindowsMessageBox(t.c_str(), c.c_str());
}

}  // namespace sd::platform
