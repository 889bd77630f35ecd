// A host user interface kept in memory, lent to the library as a real host lends its own: the test
// program exports SmartDriverHostUi, and the library finds it among the process's symbols.
#pragma once

#include <strings.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_drive.h"
#include "smartdriver/host_ui.h"

namespace sd::settings::testing {

struct TestItem {
  std::string caption;
  std::vector<std::unique_ptr<TestItem>> children;
  void (*on_click)(void*) = nullptr;
  void* ctx = nullptr;

  TestItem& Add(std::string_view c) {
    children.push_back(std::make_unique<TestItem>());
    children.back()->caption = c;
    return *children.back();
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (const auto& c : children) out.push_back(c->caption);
    return out;
  }
  void Click() const { on_click(ctx); }
};

class TestHostUi {
 public:
  TestHostUi() {
    table_ = SdHostUi{sizeof(SdHostUi), SD_HOST_UI_VERSION, this, &Find, &Menu, &Count, &At, &Count, &At,
                      &Caption, &Remove, &Append, &Box, &Show};
  }

  // What the host has: a form of this name, with or without a main menu.
  std::string form_name = "MainFrm";
  bool has_menu = true;
  TestItem menu;  // its children are the main menu's top-level items
  // The dialog as the operator handles it; unset, the host cannot show dialogs.
  std::function<int(const SdDialog&)> on_show;
  std::vector<std::pair<std::string, std::string>> boxes;  // text, caption

  SdHostUi& table() { return table_; }

 private:
  static TestHostUi& Self(void* host) { return *static_cast<TestHostUi*>(host); }
  static TestItem& ItemOf(void* item) { return *static_cast<TestItem*>(item); }

  static void* Find(void* host, const char* name) {
    TestHostUi& h = Self(host);
    return ::strcasecmp(name, h.form_name.c_str()) == 0 ? &h.form_ : nullptr;
  }
  static void* Menu(void* host, void* form) {
    TestHostUi& h = Self(host);
    return form == &h.form_ && h.has_menu ? &h.menu : nullptr;
  }
  static int Count(void*, void* item) { return static_cast<int>(ItemOf(item).children.size()); }
  static void* At(void*, void* item, int i) { return ItemOf(item).children.at(static_cast<std::size_t>(i)).get(); }
  static const char* Caption(void*, void* item) { return ItemOf(item).caption.c_str(); }
  static void Remove(void*, void* parent, void* child) {
    auto& c = ItemOf(parent).children;
    for (auto it = c.begin(); it != c.end(); ++it)
      if (it->get() == child) {
        c.erase(it);
        return;
      }
  }
  static void* Append(void*, void* parent, const char* caption, void (*on_click)(void*), void* ctx) {
    TestItem& item = ItemOf(parent).Add(caption);
    item.on_click = on_click;
    item.ctx = ctx;
    return &item;
  }
  static void Box(void* host, const char* text, const char* caption) { Self(host).boxes.emplace_back(text, caption); }
  static int Show(void* host, const SdDialog* dialog) {
    TestHostUi& h = Self(host);
    return h.on_show ? h.on_show(*dialog) : SD_MODAL_CANCEL;
  }

  SdHostUi table_;
  int form_ = 0;  // the form's handle is its address
};

// The host interface the exported SmartDriverHostUi hands out; nullptr for a host without one.
extern SdHostUi* g_exported_host_ui;

}  // namespace sd::settings::testing

namespace sd::settings::testing {

using Captions = std::vector<std::string>;

// A host whose main form "MainFrm" has the menus "&Файл" and "&Настройка" (with "Принтер" and a
// separator), lent to the library for the test's life over a drive C of the test's own.
class HostUiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  sd::testing::TempDrive drive_;
  TestHostUi host_;
  TestItem* settings_ = nullptr;
};

}  // namespace sd::settings::testing
