// Finding the host's settings menu and keeping track of the one entry the library puts there.
#include "settings/host_menu.h"

#include <exception>

#include "platform/ui.h"
#include "settings/ansi_text.h"
#include "smartdriver/cp1251.h"

namespace sd::settings {

using namespace sd::literals;

HostHandle HostMenu::FindComponent(std::string_view name) const {
  if (ui_.find_component == nullptr) return nullptr;
  const std::string n(name);
  return ui_.find_component(ui_.host, n.c_str());
}

HostHandle HostMenu::MainMenu(HostHandle form) const {
  return form != nullptr && ui_.main_menu != nullptr ? ui_.main_menu(ui_.host, form) : nullptr;
}

namespace {

// The entries under a menu or an item, through the host's count and index functions.
template <typename Count, typename At>
std::vector<HostHandle> Entries(void* host, HostHandle parent, Count count, At at) {
  std::vector<HostHandle> entries;
  if (parent == nullptr || count == nullptr || at == nullptr) return entries;
  const int n = count(host, parent);
  for (int i = 0; i < n; ++i)
    if (HostHandle entry = at(host, parent, i)) entries.push_back(entry);
  return entries;
}

}  // namespace

std::vector<HostHandle> HostMenu::TopItems(HostHandle menu) const {
  return Entries(ui_.host, menu, ui_.item_count, ui_.item_at);
}

std::vector<HostHandle> HostMenu::Children(HostHandle item) const {
  return Entries(ui_.host, item, ui_.child_count, ui_.child_at);
}

std::string HostMenu::Caption(HostHandle item) const {
  if (ui_.caption == nullptr) return {};
  const char* c = ui_.caption(ui_.host, item);
  return c != nullptr ? c : "";
}

HostHandle HostMenu::FindByCaption(const std::vector<HostHandle>& items, std::string_view caption) const {
  for (HostHandle item : items)
    if (SameCaption(Caption(item), caption)) return item;
  return nullptr;
}

HostHandle HostMenu::AddMenuItem(HostHandle parent, std::string_view caption, void (*on_click)(void*),
                                 void* ctx) const {
  if (parent == nullptr || ui_.append_child == nullptr) return nullptr;
  if (caption != "-")
    if (HostHandle same = FindByCaption(Children(parent), caption)) RemoveChild(parent, same);
  const std::string c(caption);
  return ui_.append_child(ui_.host, parent, c.c_str(), on_click, ctx);
}

void HostMenu::RemoveChild(HostHandle parent, HostHandle child) const {
  if (ui_.remove_child == nullptr) return;
  for (HostHandle c : Children(parent)) {
    if (c == child) {
      ui_.remove_child(ui_.host, parent, child);
      return;
    }
  }
}

std::string_view SettingsEntryCaption() { return "Настройки связи с Вельтор (Кестров)"_w; }
std::string_view SettingsMenuCaption() { return "&Настройка"_w; }

namespace {

// The one entry the library has put into the host's menu. Plain pointers only: module start-up may run
// before this file's dynamic initialisers, and shutdown after its destructors.
struct Hook {
  const SdHostUi* ui = nullptr;
  HostHandle parent = nullptr;
  HostHandle item = nullptr;
  MenuClick click = nullptr;
};

constinit Hook g_hook;

// The host calls this through C; nothing may leave it as an exception.
void OnEntryClick(void* ctx) noexcept {
  auto* hook = static_cast<Hook*>(ctx);
  if (hook->click == nullptr) return;
  try {
    hook->click();
  } catch (const std::exception& e) {
    platform::ShowMessageBox(e.what(), "");
  } catch (...) {
    platform::ShowMessageBox("Unknown error", "");
  }
}

}  // namespace

bool HookHostMenu(MenuClick click) {
  const SdHostUi* ui = platform::HostUi();
  if (ui == nullptr) return false;
  const HostMenu menu(*ui);
  const HostHandle main_menu = menu.MainMenu(menu.FindComponent("MainFrm"));
  const std::vector<HostHandle> top = menu.TopItems(main_menu);
  const HostHandle settings = menu.FindByCaption(top, SettingsMenuCaption());
  if (settings == nullptr) return false;
  if (menu.FindByCaption(top, SettingsEntryCaption()) != nullptr) return false;

  UnhookHostMenu();
  g_hook.click = click;
  g_hook.item = menu.AddMenuItem(settings, SettingsEntryCaption(), &OnEntryClick, &g_hook);
  if (g_hook.item == nullptr) {
    g_hook = Hook{};
    return false;
  }
  g_hook.ui = ui;
  g_hook.parent = settings;
  return true;
}

void UnhookHostMenu() {
  if (g_hook.ui != nullptr && g_hook.item != nullptr) HostMenu(*g_hook.ui).RemoveChild(g_hook.parent, g_hook.item);
  g_hook = Hook{};
}

}  // namespace sd::settings
