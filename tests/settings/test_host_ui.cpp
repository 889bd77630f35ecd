// The exported host interface of the test program, and the fixture that lends it.
#include "settings/test_host_ui.h"

#include "settings/cnf_unit.h"
#include "settings/link_settings.h"
#include "smartdriver/cp1251.h"

namespace sd::settings::testing {

SdHostUi* g_exported_host_ui = nullptr;

void HostUiTest::SetUp() {
  using namespace sd::literals;
  LinkSettings = LinkSettingsBlock{};
  g_exported_host_ui = &host_.table();
  host_.menu.Add("&Файл"_w);
  settings_ = &host_.menu.Add("&Настройка"_w);
  settings_->Add("Принтер"_w);
  settings_->Add("-");
}

void HostUiTest::TearDown() {
  StopSettings();
  g_exported_host_ui = nullptr;
  LinkSettings = LinkSettingsBlock{};
}

}  // namespace sd::settings::testing

extern "C" __attribute__((visibility("default"))) const SdHostUi* SmartDriverHostUi(void) {
  return sd::settings::testing::g_exported_host_ui;
}
