// The settings module's start-up and shutdown in a host with a user interface.
#include "settings/cnf_unit.h"

#include <gtest/gtest.h>

#include "settings/host_menu.h"
#include "settings/link_settings.h"
#include "settings/test_host_ui.h"
#include "smartdriver/cp1251.h"

namespace sd::settings {
namespace {

using namespace sd::literals;
using testing::Captions;
using testing::HostUiTest;
using testing::TestItem;

const std::string kEntry(SettingsEntryCaption());

TEST_F(HostUiTest, StartUpLoadsTheSettingsAndAddsTheEntryLast) {
  const std::string file = "[RemoteDiscount]\r\nPort=6020\r\n";
  drive_.WriteSettings(file);
  StartSettings();
  EXPECT_EQ(LinkSettings.Port, 6020);
  ASSERT_NE(ConfigKestForm, nullptr);
  EXPECT_EQ(ConfigKestForm->edPort.Text, "6020");
  EXPECT_EQ(settings_->Captions(), (Captions{"Принтер"_w.data(), "-", kEntry}));
  EXPECT_EQ(host_.menu.Captions(), (Captions{"&Файл"_w.data(), "&Настройка"_w.data()}));
  StopSettings();
  EXPECT_EQ(drive_.ReadSettings(), file) << "start-up and shutdown write nothing";
  EXPECT_TRUE(host_.boxes.empty());
}

TEST_F(HostUiTest, StoppingRemovesTheEntryAndOnlyIt) {
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

}  // namespace
}  // namespace sd::settings
