// The settings dialog shown through the host's interface: what the host sees and sets, and what reaches
// it as a message.
#include "settings/host_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ui.h"
#include "settings/cnf_unit.h"
#include "settings/host_menu.h"
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

TEST_F(HostUiTest, ClickingTheEntryShowsTheDialogThroughTheHostAndApplies) {
  drive_.WriteSettings("; till\r\n[RemoteDiscount]\r\nIP=10.0.0.1\r\nPort=6010\r\nbWaitTimeOut=2500\r\n");
  StartSettings();
  drive_.WriteSettings("; till\r\n[RemoteDiscount]\r\nIP=10.0.0.2\r\nPort=6010\r\nbWaitTimeOut=2500\r\n");

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
  EXPECT_EQ(drive_.ReadSettings(),
            "; till\r\n[RemoteDiscount]\r\nIP=10.0.0.2\r\nPort=6020\r\nbWaitTimeOut=999000\r\nPortbn=6010\r\n"
            "bEnableLog=0\r\n");
  EXPECT_EQ(LinkSettings.Port, 6020);
  EXPECT_TRUE(host_.boxes.empty());
}

TEST_F(HostUiTest, CancelBadPortsAndFailedSavesReachTheHostAsTheyShould) {
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
  drive_.WriteSettings("[RemoteDiscount]\r\nPort=6090\r\n");
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
