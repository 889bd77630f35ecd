// The settings entry in a host's menu and the dialog shown through the host, with a host interface that
// this test program exports as a real host does.
#include "settings/host_menu.h"

#include <gtest/gtest.h>

#include "platform/ui.h"
#include "settings/cnf_unit.h"
#include "settings/link_settings.h"
#include "settings/temp_drive.h"
#include "settings/test_host_ui.h"
#include "smartdriver/cp1251.h"

namespace sd::settings::testing {
SdHostUi* g_exported_host_ui = nullptr;
}  // namespace sd::settings::testing

extern "C" __attribute__((visibility("default"))) const SdHostUi* SmartDriverHostUi(void) {
  return sd::settings::testing::g_exported_host_ui;
}

namespace sd::settings {
namespace {

using namespace sd::literals;
using testing::g_exported_host_ui;
using testing::TestHostUi;
using testing::TestItem;
using Captions = std::vector<std::string>;

const std::string kEntry(SettingsEntryCaption());

class HostMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LinkSettings = LinkSettingsBlock{};
    g_exported_host_ui = &host_.table();
    host_.menu.Add("&Файл"_w);
    settings_ = &host_.menu.Add("&Настройка"_w);
    settings_->Add("Принтер"_w);
    settings_->Add("-");
  }
  void TearDown() override {
    StopSettings();
    g_exported_host_ui = nullptr;
    LinkSettings = LinkSettingsBlock{};
  }

  testing::TempDrive drive_;
  TestHostUi host_;
  TestItem* settings_ = nullptr;
};

TEST_F(HostMenuTest, StartUpLoadsTheSettingsAndAddsTheEntryLast) {
  drive_.WriteIni("[RemoteDiscount]\r\nPort=6020\r\n");
  StartSettings();
  EXPECT_EQ(LinkSettings.Port, 6020);
  ASSERT_NE(ConfigKestForm, nullptr);
  EXPECT_EQ(ConfigKestForm->edPort.Text, "6020");
  EXPECT_EQ(settings_->Captions(), (Captions{"Принтер"_w.data(), "-", kEntry}));
  EXPECT_EQ(host_.menu.Captions(), (Captions{"&Файл"_w.data(), "&Настройка"_w.data()}));
}

TEST_F(HostMenuTest, FindsTheFormAndTheMenuIgnoringCaseAndMarkers) {
  host_.form_name = "MAINFRM";
  settings_->caption = "НАСТРОЙКА"_w;
  EXPECT_TRUE(HookHostMenu([] {}));
  EXPECT_EQ(settings_->children.back()->caption, kEntry);
}

TEST_F(HostMenuTest, WithoutTheFormTheMenuOrItsSettingsItemNothingIsAdded) {
  const std::function<void(TestHostUi&)> hosts[] = {
      [](TestHostUi& h) { h.form_name = "OtherFrm"; },
      [](TestHostUi& h) { h.has_menu = false; },
      [](TestHostUi& h) { h.menu.children[0]->caption = "&Сервис"_w; },
      [](TestHostUi& h) { h.menu.Add("&" + kEntry); },  // the top level already holds the entry
      [](TestHostUi& h) { h.table().main_menu = nullptr; },
      [](TestHostUi& h) { h.table().version = 2; },
      [](TestHostUi&) { g_exported_host_ui = nullptr; },
  };
  drive_.WriteIni("[RemoteDiscount]\r\nIP=10.9.9.9\r\n");
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

TEST_F(HostMenuTest, AnEntryOfTheSameCaptionIsReplacedAndSeparatorsStay) {
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

TEST_F(HostMenuTest, StoppingRemovesTheEntryAndOnlyIt) {
  StartSettings();
  ASSERT_EQ(settings_->Captions().size(), 3u);
  StopSettings();
  EXPECT_EQ(settings_->Captions(), (Captions{"Принтер"_w.data(), "-"}));
  EXPECT_EQ(ConfigKestForm, nullptr);

  // The host dropped the entry itself, and put another of the same caption there: that one stays.
  StartSettings();
  std::unique_ptr<TestItem> dropped = std::move(settings_->children.back());  // kept, so no address repeats
  settings_->children.pop_back();
  settings_->Add(kEntry);
  StopSettings();
  EXPECT_EQ(settings_->Captions(), (Captions{"Принтер"_w.data(), "-", kEntry}));
}

TEST_F(HostMenuTest, ClickingTheEntryShowsTheDialogThroughTheHostAndApplies) {
  drive_.WriteIni("; till\r\n[RemoteDiscount]\r\nIP=10.0.0.1\r\nPort=6010\r\nbWaitTimeOut=2500\r\n");
  StartSettings();
  drive_.WriteIni("; till\r\n[RemoteDiscount]\r\nIP=10.0.0.2\r\nPort=6010\r\nbWaitTimeOut=2500\r\n");

  std::vector<std::string> names, seen;
  host_.on_show = [&](const SdDialog& d) {
    EXPECT_EQ(d.size, sizeof(SdDialog));
    for (int i = 0; i < d.control_count(d.self); ++i) names.push_back(d.control_name(d.self, i));
    EXPECT_EQ(d.control_name(d.self, d.control_count(d.self)), nullptr);
    EXPECT_STREQ(d.caption(d.self, nullptr), "Настройки подключения к системе Вельтор"_w.data());
    const std::string label = d.caption(d.self, "Label1");
    EXPECT_EQ(d.caption(d.self, "edIP"), label);
    EXPECT_EQ(d.caption(d.self, "nothing"), nullptr);
    for (const std::string& n : names) seen.push_back(d.get(d.self, n.c_str()));
    EXPECT_EQ(d.set(d.self, "edPort", "6020"), 0);
    EXPECT_EQ(d.set(d.self, "edIP", "a\nb"), -1);
    EXPECT_EQ(d.set(d.self, "seTimOut", "soon"), -1);
    EXPECT_EQ(d.set(d.self, "seTimOut", "5000"), 0);
    EXPECT_STREQ(d.get(d.self, "seTimOut"), "999");
    EXPECT_EQ(d.set(d.self, "cbLog", "0"), 0);
    EXPECT_EQ(d.set(d.self, "Label1", "x"), -1);
    EXPECT_EQ(d.get(d.self, "BitBtn1"), nullptr);
    return SD_MODAL_OK;
  };
  settings_->children.back()->Click();

  EXPECT_EQ(names, (Captions{"edIP", "edPort", "edPortbn", "seTimOut", "cbLog"}));
  EXPECT_EQ(seen, (Captions{"10.0.0.2", "6010", "6010", "2", "1"})) << "the dialog shows the file afresh";
  EXPECT_EQ(drive_.ReadIni(),
            "; till\r\n[RemoteDiscount]\r\nIP=10.0.0.2\r\nPort=6020\r\nbWaitTimeOut=999000\r\nPortbn=6010\r\n"
            "bEnableLog=0\r\n");
  EXPECT_EQ(LinkSettings.Port, 6020);
  EXPECT_TRUE(host_.boxes.empty());
}

TEST_F(HostMenuTest, CancelBadPortsAndFailedSavesReachTheHostAsTheyShould) {
  StartSettings();  // no C:\ZEMO yet
  TestItem& entry = *settings_->children.back();

  host_.on_show = [](const SdDialog& d) {
    d.set(d.self, "edPort", "6020");
    return SD_MODAL_CANCEL;
  };
  entry.Click();
  EXPECT_EQ(LinkSettings.Port, 6010);

  host_.on_show = [](const SdDialog& d) {
    d.set(d.self, "edPortbn", "x");
    return SD_MODAL_OK;
  };
  entry.Click();
  ASSERT_EQ(host_.boxes.size(), 1u);
  EXPECT_EQ(host_.boxes[0], std::make_pair(std::string("Неверный № порта"_w), std::string()));

  // The save's error is reported as the host's framework reports an event's error, never thrown at it.
  host_.on_show = [](const SdDialog&) { return SD_MODAL_OK; };
  entry.Click();
  ASSERT_EQ(host_.boxes.size(), 2u);
  EXPECT_EQ(host_.boxes[1].first.rfind("Unable to write to C:\\ZEMO\\Kestmark.INI", 0), 0u) << host_.boxes[1].first;
  EXPECT_FALSE(std::filesystem::exists(drive_.Zemo()));

  // A host that cannot show dialogs: the click does nothing at all.
  host_.table().show_dialog = nullptr;
  drive_.WriteIni("[RemoteDiscount]\r\nPort=6090\r\n");
  entry.Click();
  EXPECT_EQ(LinkSettings.Port, 6010);
  EXPECT_EQ(host_.boxes.size(), 2u);
}

TEST(HostUi, WithoutAHostMessagesGoToStandardError) {
  g_exported_host_ui = nullptr;
  ASSERT_EQ(platform::HostUi(), nullptr);
  ::testing::internal::CaptureStderr();
  platform::ShowMessageBox("Неверный № порта"_w, "");
  platform::ShowMessageBox("text", "Заголовок"_w);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Неверный № порта\nЗаголовок: text\n");

  // A table installed by the platform's own caller wins over the exported one.
  TestHostUi host;
  EXPECT_EQ(platform::SetHostUi(&host.table()), nullptr);
  EXPECT_EQ(platform::HostUi(), &host.table());
  platform::ShowMessageBox("x", "y");
  EXPECT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(platform::SetHostUi(nullptr), &host.table());
}

}  // namespace
}  // namespace sd::settings
