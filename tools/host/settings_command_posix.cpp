// The settings dialog driven from the command line through the host menu and dialog that this program
// lends the library (HostUi).
#include "tools/host/settings_command.h"

#include "smartdriver/cp1251.h"
#include "tools/host/host_forms.h"
#include "tools/host/record_printer.h"

namespace sd::host {
namespace {

using namespace sd::literals;

std::string Utf8(const char* cp1251) { return cp1251 != nullptr ? DisplayText(cp1251) : "(none)"; }

void PrintDialog(const SdDialog& d, std::ostream& out) {
  out << "Dialog.Caption = " << Utf8(d.caption(d.self, nullptr)) << '\n';
  const int count = d.control_count(d.self);
  for (int i = 0; i < count; ++i) {
    const char* name = d.control_name(d.self, i);
    if (name == nullptr) continue;
    const std::string value = Utf8(d.get(d.self, name));
    out << "Dialog." << name << " = " << value << "    (" << Utf8(d.caption(d.self, name)) << ")\n";
  }
  out << "Dialog.BitBtn1 = " << Utf8(d.caption(d.self, "BitBtn1")) << '\n';
  out << "Dialog.BitBtn2 = " << Utf8(d.caption(d.self, "BitBtn2")) << '\n';
}

// Restores the interface's handlers when the command is over.
struct HandlerScope {
  ~HandlerScope() {
    HostUi::Instance().SetDialogHandler(nullptr);
    HostUi::Instance().SetMessageHandler(nullptr);
  }
};

}  // namespace

namespace {
MenuItem* SettingsEntry() { return HostUi::Instance().SettingsChild("Настройки связи с Вельтор (Кестров)"_w); }
}  // namespace

void PrepareSettings() {}

bool HasSettingsEntry() {
  const MenuItem* entry = SettingsEntry();
  return entry != nullptr && entry->on_click != nullptr;
}

int RunSettings(const std::vector<ControlValue>& values, std::ostream& out) {
  HostUi& ui = HostUi::Instance();
  MenuItem* entry = SettingsEntry();
  if (!HasSettingsEntry()) {
    out << "error: the library put no settings entry into the host's menu\n";
    return 1;
  }
  HandlerScope restore;
  bool refused = false;
  bool message_shown = false;
  ui.SetMessageHandler([&](std::string_view text, std::string_view caption) {
    message_shown = true;
    out << "message: " << (caption.empty() ? "" : DisplayText(caption) + ": ") << DisplayText(text) << '\n';
  });
  ui.SetDialogHandler([&](const SdDialog& d) {
    PrintDialog(d, out);
    if (values.empty()) return SD_MODAL_CANCEL;
    for (const ControlValue& v : values) {
      if (d.set(d.self, v.name.c_str(), text::FromUtf8(v.value).c_str()) != 0) {
        out << "error: the dialog does not take " << v.name << "=" << v.value << "; nothing applied\n";
        refused = true;
        return SD_MODAL_CANCEL;
      }
    }
    out << "\nApplying with " << Utf8(d.caption(d.self, "BitBtn1")) << ":";
    for (const ControlValue& v : values) out << ' ' << v.name << '=' << Utf8(d.get(d.self, v.name.c_str()));
    out << '\n';
    return SD_MODAL_OK;
  });

  entry->on_click(entry->ctx);
  if (refused) return 2;
  if (message_shown) return 1;
  if (values.empty()) return 0;

  // Open it once more: the show handler reloads the settings file, so this is what was saved.
  out << "\nSaved. The dialog now shows:\n";
  ui.SetDialogHandler([&](const SdDialog& d) {
    PrintDialog(d, out);
    return SD_MODAL_CANCEL;
  });
  entry = ui.SettingsChild("Настройки связи с Вельтор (Кестров)"_w);
  if (entry != nullptr && entry->on_click != nullptr) entry->on_click(entry->ctx);
  return message_shown ? 1 : 0;
}

}  // namespace sd::host
