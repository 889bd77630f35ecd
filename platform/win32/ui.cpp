// The host's user interface on Windows. Until the library builds its own windows over the host's, the
// host lends its interface as on every system, by exporting SmartDriverHostUi from its program; without
// it a windowed program gets the system's message box and a console program a line on standard error.
#include "platform/ui.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "smartdriver/cp1251.h"

#include "platform/win32/text_win32.h"

namespace sd::platform {
namespace {

constinit std::atomic<const SdHostUi*> g_installed{nullptr};

bool Usable(const SdHostUi* ui) {
  return ui != nullptr && ui->version == SD_HOST_UI_VERSION && ui->size >= sizeof(SdHostUi);
}

const SdHostUi* LookUpHostUi() {
  const HMODULE program = ::GetModuleHandleW(nullptr);
  const FARPROC symbol = program != nullptr ? ::GetProcAddress(program, SD_HOST_UI_SYMBOL) : nullptr;
  if (symbol == nullptr) return nullptr;
  return reinterpret_cast<SdHostUiFunction>(reinterpret_cast<void*>(symbol))();
}

// The system's message box waits for a click that a console program run without a desktop (a tool, a
// test) never gets; such a program reports on standard error instead.
bool IsWindowedProgram() {
  const auto* image = reinterpret_cast<const unsigned char*>(::GetModuleHandleW(nullptr));
  if (image == nullptr) return false;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
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
  if (IsWindowedProgram()) {
    ::MessageBoxW(nullptr, win32::Wide(text).c_str(), win32::Wide(caption).c_str(), MB_OK | MB_TASKMODAL);
    return;
  }
  const std::string line = caption.empty() ? text::ToUtf8(text) : text::ToUtf8(caption) + ": " + text::ToUtf8(text);
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace sd::platform
