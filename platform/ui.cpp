// The host's user interface on every platform: a table installed by the library, or the one the
// platform finds (platform/ui_system.h), checked for a size and version this library knows; and the
// message box that goes to the host's table when it has one.
#include "platform/ui.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/ui_system.h"
#include "smartdriver/cp1251.h"

namespace sd::platform {
namespace {

constinit std::atomic<const SdHostUi*> g_installed{nullptr};

bool Usable(const SdHostUi* ui) {
  return ui != nullptr && ui->version == SD_HOST_UI_VERSION && ui->size >= sizeof(SdHostUi);
}

}  // namespace

const SdHostUi* HostUi() {
  const SdHostUi* ui = g_installed.load(std::memory_order_acquire);
  if (ui == nullptr) ui = system_ui::LookUpHostUi();
  return Usable(ui) ? ui : nullptr;
}

const SdHostUi* SetHostUi(const SdHostUi* ui) { return g_installed.exchange(ui, std::memory_order_acq_rel); }

void ShowMessageBox(std::string_view text, std::string_view caption) {
  if (const SdHostUi* ui = HostUi(); ui != nullptr && ui->message_box != nullptr) {
    const std::string t(text), c(caption);
    ui->message_box(ui->host, t.c_str(), c.c_str());
    return;
  }
  system_ui::ShowMessageBox(text, caption);
}

void system_ui::MessageToStandardError(std::string_view text, std::string_view caption) {
  const std::string line = caption.empty() ? text::ToUtf8(text) : text::ToUtf8(caption) + ": " + text::ToUtf8(text);
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace sd::platform
