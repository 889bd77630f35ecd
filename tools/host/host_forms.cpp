// smartdriver-host's form, menu, message box and dialog, as plain objects reached through C functions.
#include "tools/host/host_forms.h"

#include <cstdio>
#include <exception>

#include "smartdriver/cp1251.h"

namespace sd::host {
namespace {

using namespace sd::literals;

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

MenuItem* AsItem(void* handle) { return static_cast<MenuItem*>(handle); }

}  // namespace

HostUi& HostUi::Instance() {
  static HostUi ui;
  return ui;
}

HostUi::HostUi() {
  for (std::string_view caption : {"&Файл"_w, "&Настройка"_w, "&Справка"_w}) {
    auto item = std::make_unique<MenuItem>();
    item->caption = caption;
    menu_.children.push_back(std::move(item));
  }
  table_ = SdHostUi{sizeof(SdHostUi), SD_HOST_UI_VERSION, this, &FindComponent, &MainMenuOf, &ItemCount,
                    &ItemAt, &ItemCount, &ItemAt, &Caption, &RemoveChild, &AppendChild, &MessageBox,
                    &ShowDialog};
}

MenuItem* HostUi::SettingsChild(std::string_view caption) {
  for (auto& top : menu_.children)
    if (top->caption == "&Настройка"_w)
      for (auto& child : top->children)
        if (child->caption == caption) return child.get();
  return nullptr;
}

void* HostUi::FindComponent(void* host, const char* name) noexcept {
  return name != nullptr && SameNameIgnoringCase(name, "MainFrm") ? &From(host).form_ : nullptr;
}

void* HostUi::MainMenuOf(void* host, void* form) noexcept {
  return form == &From(host).form_ ? &From(host).menu_ : nullptr;
}

// The main menu and an item both hold their items as children, so one pair of functions serves both.
int HostUi::ItemCount(void*, void* menu) noexcept {
  return menu != nullptr ? static_cast<int>(AsItem(menu)->children.size()) : 0;
}

void* HostUi::ItemAt(void*, void* menu, int index) noexcept {
  if (menu == nullptr || index < 0 || index >= ItemCount(nullptr, menu)) return nullptr;
  return AsItem(menu)->children[static_cast<std::size_t>(index)].get();
}

const char* HostUi::Caption(void*, void* item) noexcept {
  return item != nullptr ? AsItem(item)->caption.c_str() : nullptr;
}

void HostUi::RemoveChild(void*, void* parent, void* child) noexcept {
  if (parent == nullptr) return;
  auto& children = AsItem(parent)->children;
  for (auto it = children.begin(); it != children.end(); ++it)
    if (it->get() == child) {
      children.erase(it);
      return;
    }
}

void* HostUi::AppendChild(void*, void* parent, const char* caption, void (*on_click)(void*), void* ctx) noexcept {
  if (parent == nullptr) return nullptr;
  try {
    auto item = std::make_unique<MenuItem>();
    item->caption = caption != nullptr ? caption : "";
    item->on_click = on_click;
    item->ctx = ctx;
    AsItem(parent)->children.push_back(std::move(item));
    return AsItem(parent)->children.back().get();
  } catch (...) {
    return nullptr;
  }
}

void HostUi::MessageBox(void* host, const char* text, const char* caption) noexcept {
  try {
    const std::string_view t = text != nullptr ? text : "", c = caption != nullptr ? caption : "";
    if (From(host).message_) {
      From(host).message_(t, c);
    } else {
      const std::string line = (c.empty() ? "" : text::ToUtf8(c) + ": ") + text::ToUtf8(t);
      std::fprintf(stderr, "message: %s\n", line.c_str());
    }
  } catch (...) {
  }
}

int HostUi::ShowDialog(void* host, const SdDialog* dialog) noexcept {
  if (dialog == nullptr || dialog->size < sizeof(SdDialog) || !From(host).dialog_) return SD_MODAL_CANCEL;
  try {
    return From(host).dialog_(*dialog);
  } catch (...) {
    return SD_MODAL_CANCEL;
  }
}

}  // namespace sd::host

// Found by the library with dlsym in the whole process; the program is linked with its symbols exported.
extern "C" __attribute__((visibility("default"))) const SdHostUi* SmartDriverHostUi() {
  return sd::host::HostUi::Instance().Table();
}
