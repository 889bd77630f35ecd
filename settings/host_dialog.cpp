// The dialog's controls exposed to a host as SdDialog, and the view that hands them over.
#include "settings/host_dialog.h"

#include <cstring>
#include <optional>
#include <string>

#include "platform/ui.h"
#include "settings/ansi_text.h"

namespace sd::settings {
namespace {

constexpr const char* kControls[] = {"edIP", "edPort", "edPortbn", "seTimOut", "cbLog"};
constexpr int kControlCount = static_cast<int>(sizeof kControls / sizeof kControls[0]);

// What SdDialog's functions reach: the form, and the text last handed out.
struct DialogSession {
  TConfigKestForm* form;
  std::string scratch;
};

const char* Keep(DialogSession* s, std::string text) {
  s->scratch = std::move(text);
  return s->scratch.c_str();
}

TEdit* EditNamed(TConfigKestForm& f, std::string_view name) {
  if (name == "edIP") return &f.edIP;
  if (name == "edPort") return &f.edPort;
  if (name == "edPortbn") return &f.edPortbn;
  return nullptr;
}

std::optional<std::string> CaptionOf(TConfigKestForm& f, std::string_view name) {
  if (name == "edIP" || name == "Label1") return f.Label1.Caption;
  if (name == "edPort" || name == "Label2") return f.Label2.Caption;
  if (name == "edPortbn" || name == "Label5") return f.Label5.Caption;
  if (name == "seTimOut" || name == "Label3") return f.Label3.Caption;
  if (name == "cbLog") return f.cbLog.Caption;
  if (name == "BitBtn1") return f.BitBtn1.Caption;
  if (name == "BitBtn2") return f.BitBtn2.Caption;
  return std::nullopt;
}

int ControlCount(void*) { return kControlCount; }

const char* ControlName(void*, int index) { return index >= 0 && index < kControlCount ? kControls[index] : nullptr; }

const char* Caption(void* self, const char* name) noexcept {
  auto* s = static_cast<DialogSession*>(self);
  try {
    if (name == nullptr) return Keep(s, s->form->Caption);
    const std::optional<std::string> caption = CaptionOf(*s->form, name);
    return caption ? Keep(s, *caption) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

const char* Get(void* self, const char* name) noexcept {
  auto* s = static_cast<DialogSession*>(self);
  if (name == nullptr) return nullptr;
  try {
    TConfigKestForm& f = *s->form;
    if (TEdit* edit = EditNamed(f, name)) return Keep(s, edit->Text);
    if (std::strcmp(name, "seTimOut") == 0) return Keep(s, IntToStr(f.seTimOut.Value()));
    if (std::strcmp(name, "cbLog") == 0) return f.cbLog.Checked ? "1" : "0";
  } catch (...) {
  }
  return nullptr;
}

int Set(void* self, const char* name, const char* value) noexcept {
  auto* s = static_cast<DialogSession*>(self);
  if (name == nullptr || value == nullptr) return -1;
  try {
    TConfigKestForm& f = *s->form;
    const std::string_view v = value;
    if (TEdit* edit = EditNamed(f, name)) {
      // A single-line edit cannot hold a line break.
      if (v.find_first_of("\r\n") != std::string_view::npos) return -1;
      edit->Text = v;
      return 0;
    }
    if (std::strcmp(name, "seTimOut") == 0) {
      const std::optional<std::int32_t> n = TryStrToInt(v);
      if (!n) return -1;
      f.seTimOut.SetValue(*n);
      return 0;
    }
    if (std::strcmp(name, "cbLog") == 0) {
      const std::optional<std::int32_t> n = TryStrToInt(v);
      if (!n) return -1;
      f.cbLog.Checked = *n != 0;
      return 0;
    }
  } catch (...) {
  }
  return -1;
}

}  // namespace

bool HostConfigFormView::CanShowModal() {
  const SdHostUi* ui = platform::HostUi();
  return ui != nullptr && ui->show_dialog != nullptr;
}

ModalResult HostConfigFormView::ShowModal(TConfigKestForm& form) {
  const SdHostUi* ui = platform::HostUi();
  if (ui == nullptr || ui->show_dialog == nullptr) return ModalResult::kCancel;
  DialogSession session{&form, {}};
  const SdDialog dialog{sizeof(SdDialog), &session, &ControlCount, &ControlName, &Caption, &Get, &Set};
  return ui->show_dialog(ui->host, &dialog) == SD_MODAL_OK ? ModalResult::kOk : ModalResult::kCancel;
}

void HostConfigFormView::ShowMessage(std::string_view text, std::string_view caption) {
  platform::ShowMessageBox(text, caption);
}

}  // namespace sd::settings
