// The settings entry in the host's menu: where it goes, what it replaces, when it stays out.
#include "settings/host_menu.h"

#include <gtest/gtest.h>

#include "settings/cnf_unit.h"
#include "settings/link_settings.h"
#include "settings/test_host_ui.h"
#include "smartdriver/cp1251.h"

namespace sd::settings {
namespace {

using namespace sd::literals;
using testing::Captions;
using testing::g_exported_host_ui;
using testing::HostUiTest;
using testing::TestHostUi;
using testing::TestItem;

const std::string kEntry(SettingsEntryCaption());

TEST_F(HostUiTest, FindsTheFormAndTheMenuIgnoringCaseAndMarkers) {
  host_.form_name = "MAINFRM";
  settings_->caption = "НАСТРОЙКА"_w;
  EXPECT_TRUE(HookHostMenu([] {}));
  EXPECT_EQ(settings_->children.back()->caption, kEntry);
}

TEST_F(HostUiTest, WithoutTheFormTheMenuOrItsSettingsItemNothingIsAdded) {
  const std::function<void(TestHostUi&)> hosts[] = {
      [](TestHostUi& h) { h.form_name = "OtherFrm"; },
      [](TestHostUi& h) { h.has_menu = false; },
      [](TestHostUi& h) { h.menu.children[0]->caption = "&Сервис"_w; },
      [](TestHostUi& h) { h.menu.Add("&" + kEntry); },  // the top level already holds the entry
      [](TestHostUi& h) { h.table().main_menu = nullptr; },
      [](TestHostUi& h) { h.table().version = 2; },
      [](TestHostUi&) { g_exported_host_ui = nullptr; },
  };
  drive_.WriteSettings("[RemoteDiscount]\r\nIP=10.9.9.9\r\n");
  int n = 0;
  for (const auto& make : hosts) {
    SCOPED_TRACE(n++);
    TestHostUi host;
    TestItem& settings = host.menu.Add("&Настройка"_w);
    g_exported_host_ui = &host.table();
    make(host);
    const Captions top = host.menu.Captions();
    StartSettings();
    EXPECT_EQ(LinkSettings.IP, "10.9.9.9") << "the driver works with the file's settings";
    EXPECT_TRUE(settings.children.empty());
    EXPECT_EQ(host.menu.Captions(), top);
    StopSettings();
    LinkSettings = LinkSettingsBlock{};
  }
}

TEST_F(HostUiTest, AnEntryOfTheSameCaptionIsReplacedAndSeparatorsStay) {
  static int old_clicks;
  old_clicks = 0;
  TestItem& old = settings_->Add("&настройки связи с вельтор (кестров)"_w);
  old.on_click = [](void*) { ++old_clicks; };
  settings_->Add("-");
  settings_->Add("О программе"_w);

  StartSettings();
  EXPECT_EQ(settings_->Captions(), (Captions{"Принтер"_w.data(), "-", "-", "О программе"_w.data(), kEntry}));

  // Separators are never taken for one another: each "-" added stays.
  const HostMenu menu(host_.table());
  menu.AddMenuItem(settings_, "-", nullptr, nullptr);
  EXPECT_EQ(settings_->Captions().size(), 6u);
  EXPECT_EQ(menu.AddMenuItem(nullptr, "x", nullptr, nullptr), nullptr);
  EXPECT_EQ(old_clicks, 0);
}

}  // namespace
}  // namespace sd::settings
