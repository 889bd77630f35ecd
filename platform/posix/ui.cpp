// POSIX has no windows of its own: the host program lends its interface through the exported
// SmartDriverHostUi, found in the process's global symbols.
#include "platform/ui.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "smartdriver/cp1251.h"

namespace sd::platform {
namespace {

constinit std::atomic<const SdHostUi*> g_installed{nullptr};

bool Usable(const SdHostUi* ui) {
  return ui != nullptr && ui->version == SD_HOST_UI_VERSION && ui->size >= sizeof(SdHostUi);
}

const SdHostUi* LookUpHostUi() {
  void* symbol = ::dlsym(RTLD_DEFAULT, SD_HOST_UI_SYMBOL);
  if (symbol == nullptr) return nullptr;
  return reinterpret_cast<SdHostUiFunction>(symbol)();
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
  const std::string line = caption.empty() ? text::ToUtf8(text) : text::ToUtf8(caption) + ": " + text::ToUtf8(text);
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace sd::platform
