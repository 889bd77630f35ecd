// The settings entry in the host's own menu: the host's main form "MainFrm" found by name, its main
// menu's "&Настройка" item found by caption, and the entry added there (and removed at unload).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "smartdriver/host_ui.h"

namespace sd::settings {

// An object of the host's: a form, a main menu or a menu item.
using HostHandle = void*;

// The host's components and menus through its interface table.
class HostMenu {
 public:
  explicit HostMenu(const SdHostUi& ui) : ui_(ui) {}

  // The application's component of that name, letter case ignored; nullptr when there is none.
  HostHandle FindComponent(std::string_view name) const;
  // The form's main menu; nullptr when it has none.
  HostHandle MainMenu(HostHandle form) const;
  std::vector<HostHandle> TopItems(HostHandle menu) const;
  std::vector<HostHandle> Children(HostHandle item) const;
  std::string Caption(HostHandle item) const;
  // The first of `items` whose caption is `caption` with "&" markers and letter case ignored.
  HostHandle FindByCaption(const std::vector<HostHandle>& items, std::string_view caption) const;

  // Appends an item as the parent's last child; a child of the same caption is destroyed first, except
  // for separators ("-"). Returns the new item, or nullptr without a parent or when the host could not
  // add it. A click calls on_click(ctx).
  HostHandle AddMenuItem(HostHandle parent, std::string_view caption, void (*on_click)(void*), void* ctx) const;
  // Destroys the child when it is still one of the parent's children.
  void RemoveChild(HostHandle parent, HostHandle child) const;

 private:
  const SdHostUi& ui_;
};

// The entry's caption, and the caption of the host menu that receives it.
std::string_view SettingsEntryCaption();
std::string_view SettingsMenuCaption();

// The action of a menu entry's click.
using MenuClick = void (*)();

// Adds the settings entry under "&Настройка" of the host's main form "MainFrm", whose click runs
// `click`. Stops silently without a host interface, the form, its main menu or that item, or when the
// main menu's top-level items already hold the entry. An error that `click` raises is shown in a
// message box, as the host's framework reports an error of an event. True when the entry was added.
bool HookHostMenu(MenuClick click);

// Removes the entry that HookHostMenu added, if the host still has it; afterwards no click reaches the
// action given to HookHostMenu.
void UnhookHostMenu();

}  // namespace sd::settings
