// The settings dialog's handlers against a settings file of the test's own, through a scripted view.
#include "settings/config_form.h"

#include <gtest/gtest.h>

#include <functional>

#include "settings/ini_file.h"
#include "settings/link_settings.h"
#include "support/temp_drive.h"
#include "smartdriver/cp1251.h"

namespace sd::settings {
namespace {

using namespace sd::literals;

class ScriptedView : public ConfigFormView {
 public:
  bool can_show = true;
  std::function<ModalResult(TConfigKestForm&)> operator_;
  std::vector<std::pair<std::string, std::string>> messages;
  int shown = 0;

  bool CanShowModal() override { return can_show; }
  ModalResult ShowModal(TConfigKestForm& form) override {
    ++shown;
    return operator_ ? operator_(form) : ModalResult::kCancel;
  }
  void ShowMessage(std::string_view text, std::string_view caption) override {
    messages.emplace_back(text, caption);
  }
};

class ConfigFormTest : public ::testing::Test {
 protected:
  void SetUp() override { LinkSettings = LinkSettingsBlock{}; }
  void TearDown() override { LinkSettings = LinkSettingsBlock{}; }

  sd::testing::TempDrive drive_;
  ScriptedView view_;
  TConfigKestForm form_{view_};
};

TEST(MillisecondsToSeconds, NearestWithHalvesToEven) {
  const std::pair<std::int32_t, std::int64_t> cases[] = {
      {2500, 2}, {3500, 4}, {1500, 2}, {2499, 2}, {2501, 3}, {0, 0}, {499, 0}, {500, 0},
      {-2500, -2}, {-3500, -4}, {-2501, -3}, {INT32_MAX, 2147484}, {INT32_MIN, -2147484},
  };
  for (const auto& [ms, s] : cases) EXPECT_EQ(MillisecondsToSeconds(ms), s) << ms;
}

TEST_F(ConfigFormTest, FormShowLoadsTheFileAndFillsTheControls) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"2500", 2}, {"3500", 4}, {"500", 2}, {"1000000000", 999}, {"-3000", 2}, {"998500", 998}, {"999501", 999},
  };
  for (const auto& [ms, seconds] : cases) {
    drive_.WriteSettings(std::string("[RemoteDiscount]\r\nIP=10.0.0.5\r\nPort=-1\r\nPortbn=$10\r\nbWaitTimeOut=") + ms +
                    "\r\nbEnableLog=0\r\n");
    form_.FormShow();
    EXPECT_EQ(form_.seTimOut.Value(), seconds) << ms;
    EXPECT_EQ(LinkSettings.bWaitTimeOut, std::stoi(ms)) << "memory keeps the milliseconds as read";
  }
  EXPECT_EQ(form_.edIP.Text, "10.0.0.5");
  EXPECT_EQ(form_.edPort.Text, "-1");
  EXPECT_EQ(form_.edPortbn.Text, "16");
  EXPECT_FALSE(form_.cbLog.Checked);
}

TEST_F(ConfigFormTest, ApplyRewritesAllFiveKeysEvenUnchanged) {
  drive_.WriteSettings(
      "[RemoteDiscount]\r\nIP = localhost   \r\nPort=$177A\r\nPortbn=0x177A\r\nbWaitTimeOut=10000\r\n"
      "bEnableLog=7\r\n[Other]\r\nPort=1\r\n");
  form_.FormShow();
  form_.BitBtn1Click();
  EXPECT_EQ(drive_.ReadSettings(),
            "[RemoteDiscount]\r\nIP = localhost\r\nPort=6010\r\nPortbn=6010\r\nbWaitTimeOut=10000\r\n"
            "bEnableLog=1\r\n[Other]\r\nPort=1\r\n");
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(ConfigFormTest, TimeOutIsStoredAsSecondsTimesAThousand) {
  drive_.WriteSettings("[RemoteDiscount]\r\nbWaitTimeOut=2500\r\n");
  form_.FormShow();
  form_.BitBtn1Click();
  EXPECT_EQ(LinkSettings.bWaitTimeOut, 2000);
  EXPECT_NE(drive_.ReadSettings().find("bWaitTimeOut=2000\r\n"), std::string::npos);

  form_.seTimOut.SetValue(999);
  form_.BitBtn1Click();
  EXPECT_EQ(LinkSettings.bWaitTimeOut, 999000);
  EXPECT_NE(drive_.ReadSettings().find("bWaitTimeOut=999000\r\n"), std::string::npos);
}

TEST_F(ConfigFormTest, ApplyStoresWhatWasTypedWithoutARangeCheck) {
  drive_.MakeZemo();
  form_.FormShow();
  form_.edIP.Text = "  server.local ";
  form_.edPort.Text = "70000";
  form_.edPortbn.Text = "  -0x10";
  form_.cbLog.Checked = false;
  form_.seTimOut.SetValue(15);
  form_.BitBtn1Click();
  EXPECT_EQ(LinkSettings.IP, "  server.local ");
  EXPECT_EQ(LinkSettings.Port, 70000);
  EXPECT_EQ(LinkSettings.Portbn, -16);
  EXPECT_EQ(LinkSettings.bWaitTimeOut, 15000);
  EXPECT_FALSE(LinkSettings.bEnableLog);
  EXPECT_EQ(drive_.ReadSettings(),
            "[RemoteDiscount]\r\nIP=  server.local \r\nPort=70000\r\nPortbn=-16\r\nbWaitTimeOut=15000\r\n"
            "bEnableLog=0\r\n");
}

TEST_F(ConfigFormTest, ABadPortChangesNothingAndSaysSo) {
  const std::pair<const char*, const char*> cases[] = {
      {"6020", "x"}, {"x", "6020"}, {"6020", ""}, {"", ""}, {"6020", "2147483648"}, {"6020", "6021 "}, {"60.2", "1"},
  };
  const std::string file = "[RemoteDiscount]\r\nPort=6010\r\n";
  for (const auto& [port, portbn] : cases) {
    drive_.WriteSettings(file);
    form_.FormShow();
    const LinkSettingsBlock before = LinkSettings;
    view_.messages.clear();
    form_.edPort.Text = port;
    form_.edPortbn.Text = portbn;
    form_.edIP.Text = "elsewhere";
    form_.seTimOut.SetValue(30);
    form_.cbLog.Checked = !form_.cbLog.Checked;
    form_.BitBtn1Click();
    EXPECT_EQ(LinkSettings.Port, before.Port) << port << " / " << portbn;
    EXPECT_EQ(LinkSettings.Portbn, before.Portbn);
    EXPECT_EQ(LinkSettings.IP, before.IP);
    EXPECT_EQ(LinkSettings.bWaitTimeOut, before.bWaitTimeOut);
    EXPECT_EQ(LinkSettings.bEnableLog, before.bEnableLog);
    EXPECT_EQ(drive_.ReadSettings(), file);
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_EQ(view_.messages[0].first, "Неверный № порта"_w);
    EXPECT_EQ(view_.messages[0].second, "");
  }
}

TEST_F(ConfigFormTest, MenuClickShowsAFreshDialogAndAppliesOnlyOnOk) {
  drive_.WriteSettings("[RemoteDiscount]\r\nPort=6030\r\n");
  form_.FormShow();

  // Typed and cancelled: gone at the next opening, nothing saved.
  view_.operator_ = [](TConfigKestForm& f) {
    f.edPort.Text = "1";
    return ModalResult::kCancel;
  };
  form_.SettingsMenuClick();
  EXPECT_EQ(form_.edPort.Text, "1");
  EXPECT_EQ(LinkSettings.Port, 6030);

  std::string shown_port;
  view_.operator_ = [&](TConfigKestForm& f) {
    shown_port = f.edPort.Text;
    f.edPort.Text = "6040";
    return ModalResult::kOk;
  };
  form_.SettingsMenuClick();
  EXPECT_EQ(shown_port, "6030");
  EXPECT_EQ(LinkSettings.Port, 6040);
  EXPECT_NE(drive_.ReadSettings().find("Port=6040\r\n"), std::string::npos);

  // A view that cannot show the dialog: not even the file is read again.
  drive_.WriteSettings("[RemoteDiscount]\r\nPort=6050\r\n");
  view_.can_show = false;
  form_.SettingsMenuClick();
  EXPECT_EQ(view_.shown, 2);
  EXPECT_EQ(LinkSettings.Port, 6040);
}

TEST_F(ConfigFormTest, AFailedSaveLeavesTheAppliedValuesInMemory) {
  form_.FormShow();  // no C:\ZEMO: nothing can be saved
  form_.edPort.Text = "6020";
  EXPECT_THROW(form_.BitBtn1Click(), EIniFileException);
  EXPECT_EQ(LinkSettings.Port, 6020);
}

}  // namespace
}  // namespace sd::settings
