// The settings dialog's captions and handlers.
#include "settings/config_form.h"

#include <optional>

#include "settings/ansi_text.h"
#include "settings/link_settings.h"
#include "smartdriver/cp1251.h"

namespace sd::settings {

using namespace sd::literals;

TConfigKestForm::TConfigKestForm(ConfigFormView& view)
    : Name("ConfigKestForm"),
      Caption("Настройки подключения к системе Вельтор"_w),
      BitBtn1{std::string("Применить"_w), ModalResult::kOk},
      BitBtn2{std::string("Отменить"_w), ModalResult::kCancel},
      cbLog{std::string("Вести логи по операциям"_w)},
      Label3{std::string("Время ожидания ответа сервера скидок, с. ___"_w)},
      Label5{std::string("Порт для подключения к серверу безнала ____"_w)},
      Label2{std::string("Порт для подключения к серверу скидок _____"_w)},
      Label1{std::string("IP адрес сервера___ "_w)},
      view_(view) {}

std::int64_t MillisecondsToSeconds(std::int32_t ms) {
  // Whole-number arithmetic, so that no floating-point rounding mode set by the host can change it.
  std::int64_t q = ms / 1000;
  const std::int32_t r = ms % 1000;  // carries the sign of ms
  const bool odd = q % 2 != 0;
  if (r > 500 || (r == 500 && odd)) ++q;
  if (r < -500 || (r == -500 && odd)) --q;
  return q;
}

void TConfigKestForm::FormShow() {
  LoadLinkSettings();
  const LinkSettingsBlock shown = LinkSettingsSnapshot();
  edIP.Text = shown.IP;
  edPort.Text = IntToStr(shown.Port);
  edPortbn.Text = IntToStr(shown.Portbn);
  seTimOut.SetValue(MillisecondsToSeconds(shown.bWaitTimeOut));
  cbLog.Checked = shown.bEnableLog;
}

void TConfigKestForm::BitBtn1Click() {
  // Both ports are checked before either is stored, so a bad one never leaves the settings half applied.
  const std::optional<std::int32_t> port = TryStrToInt(edPort.Text);
  const std::optional<std::int32_t> portbn = TryStrToInt(edPortbn.Text);
  if (!port || !portbn) {
    view_.ShowMessage("Неверный № порта"_w, "");
    return;
  }
  LinkSettingsBlock applied = LinkSettingsSnapshot();
  applied.Port = *port;
  applied.Portbn = *portbn;
  applied.IP = edIP.Text;
  applied.bWaitTimeOut = seTimOut.Value() * 1000;
  applied.bEnableLog = cbLog.Checked;
  ReplaceLinkSettings(applied);
  SaveLinkSettings();
}

void TConfigKestForm::SettingsMenuClick() {
  if (!view_.CanShowModal()) return;
  FormShow();
  // Pressing Apply runs its handler; the dialog's result is not used beyond that.
  if (view_.ShowModal(*this) == BitBtn1.Result) BitBtn1Click();
}

}  // namespace sd::settings
