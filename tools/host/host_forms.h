// The user interface smartdriver-host lends the library (include/smartdriver/host_ui.h): a main form
// "MainFrm" whose main menu has a "&Настройка" item for the library's settings entry, a message box that
// prints, and a dialog that a command fills and reads instead of a person. The program exports
// SmartDriverHostUi, which hands the library this table.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "smartdriver/host_ui.h"

namespace sd::host {

struct MenuItem {
  std::string caption;  // Windows-1251, "&" markers included
  void (*on_click)(void*) = nullptr;
  void* ctx = nullptr;
  std::vector<std::unique_ptr<MenuItem>> children;
};

class HostUi {
 public:
  // What show_dialog does with the dialog: returns SD_MODAL_OK or SD_MODAL_CANCEL. Unset: cancel.
  using DialogHandler = std::function<int(const SdDialog&)>;
  // What message_box does with a text and a caption (Windows-1251). Unset: one line on standard error.
  using MessageHandler = std::function<void(std::string_view text, std::string_view caption)>;

  // The one interface of this program.
  static HostUi& Instance();

  const SdHostUi* Table() const { return &table_; }
  MenuItem& MainMenu() { return menu_; }  // its children are the top-level items

  // The child of the "&Настройка" item with this caption (Windows-1251), or nullptr.
  MenuItem* SettingsChild(std::string_view caption);

  void SetDialogHandler(DialogHandler handler) { dialog_ = std::move(handler); }
  void SetMessageHandler(MessageHandler handler) { message_ = std::move(handler); }

 private:
  HostUi();
  static HostUi& From(void* host) { return *static_cast<HostUi*>(host); }

  static void* FindComponent(void* host, const char* name) noexcept;
  static void* MainMenuOf(void* host, void* form) noexcept;
  static int ItemCount(void* host, void* menu) noexcept;
  static void* ItemAt(void* host, void* menu, int index) noexcept;
  static const char* Caption(void* host, void* item) noexcept;
  static void RemoveChild(void* host, void* parent, void* child) noexcept;
  static void* AppendChild(void* host, void* parent, const char* caption, void (*on_click)(void*),
                           void* ctx) noexcept;
  static void MessageBox(void* host, const char* text, const char* caption) noexcept;
  static int ShowDialog(void* host, const SdDialog* dialog) noexcept;

  int form_ = 0;  // the main form's handle is this member's address
  MenuItem menu_;
  SdHostUi table_;
  DialogHandler dialog_;
  MessageHandler message_;
};

}  // namespace sd::host
