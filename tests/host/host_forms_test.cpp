// The interface smartdriver-host lends the library, used through its C table as the library uses it:
// the main form by name, the "&Настройка" menu, items added and removed, and the dialog and message box
// handed to the command that runs them.
#include "tools/host/host_forms.h"

#include <gtest/gtest.h>

#include <string>

#include "smartdriver/cp1251.h"

namespace sd::host {
namespace {

using namespace sd::literals;

void CountClick(void* ctx) { ++*static_cast<int*>(ctx); }

TEST(HostUi, OffersItsMainFormAndSettingsMenuThroughTheTable) {
  const SdHostUi& t = *HostUi::Instance().Table();
  ASSERT_EQ(t.size, sizeof(SdHostUi));
  ASSERT_EQ(t.version, SD_HOST_UI_VERSION);
  void* form = t.find_component(t.host, "mAiNfRm");
  ASSERT_NE(form, nullptr) << "the form is found with letter case ignored";
  EXPECT_EQ(t.find_component(t.host, "MainFrm2"), nullptr);
  EXPECT_EQ(t.find_component(t.host, nullptr), nullptr);
  EXPECT_EQ(t.main_menu(t.host, nullptr), nullptr);
  void* menu = t.main_menu(t.host, form);
  ASSERT_NE(menu, nullptr);

  void* settings = nullptr;
  for (int i = 0; i < t.item_count(t.host, menu); ++i)
    if (t.caption(t.host, t.item_at(t.host, menu, i)) == "&Настройка"_w) settings = t.item_at(t.host, menu, i);
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(t.item_at(t.host, menu, -1), nullptr);
  EXPECT_EQ(t.item_at(t.host, menu, t.item_count(t.host, menu)), nullptr);

  int clicks = 0;
  const std::string caption(std::string("Настройки связи с Вельтор (Кестров)"_w));
  void* item = t.append_child(t.host, settings, caption.c_str(), &CountClick, &clicks);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(t.child_at(t.host, settings, t.child_count(t.host, settings) - 1), item) << "added last";
  MenuItem* found = HostUi::Instance().SettingsChild(caption);
  ASSERT_EQ(found, item);
  found->on_click(found->ctx);
  EXPECT_EQ(clicks, 1);

  t.remove_child(t.host, settings, item);
  EXPECT_EQ(HostUi::Instance().SettingsChild(caption), nullptr);
  t.remove_child(t.host, settings, item);  // no longer a child: nothing happens
  EXPECT_EQ(t.child_count(t.host, settings), 0);
}

TEST(HostUi, HandsTheDialogAndMessagesToWhoeverRunsThem) {
  const SdHostUi& t = *HostUi::Instance().Table();
  const SdDialog dialog{sizeof(SdDialog), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(t.show_dialog(t.host, &dialog), SD_MODAL_CANCEL) << "nobody to run it: cancelled";

  HostUi::Instance().SetDialogHandler([](const SdDialog&) { return SD_MODAL_OK; });
  EXPECT_EQ(t.show_dialog(t.host, &dialog), SD_MODAL_OK);
  SdDialog older = dialog;
  older.size = sizeof(SdDialog) - sizeof(void*);
  EXPECT_EQ(t.show_dialog(t.host, &older), SD_MODAL_CANCEL) << "a dialog table it does not know";
  EXPECT_EQ(t.show_dialog(t.host, nullptr), SD_MODAL_CANCEL);
  HostUi::Instance().SetDialogHandler([](const SdDialog&) -> int { throw std::runtime_error("no"); });
  EXPECT_EQ(t.show_dialog(t.host, &dialog), SD_MODAL_CANCEL) << "nothing may leave through the C table";
  HostUi::Instance().SetDialogHandler(nullptr);

  std::string shown;
  HostUi::Instance().SetMessageHandler([&](std::string_view text, std::string_view caption) {
    shown = std::string(caption) + "|" + std::string(text);
  });
  t.message_box(t.host, "Неверный № порта"_w.data(), nullptr);
  EXPECT_EQ(shown, "|" + std::string("Неверный № порта"_w));
  HostUi::Instance().SetMessageHandler(nullptr);
}

}  // namespace
}  // namespace sd::host
