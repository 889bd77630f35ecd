// The settings command on Windows: this program's own "TMainFrm" window with "&Настройка" in its menu
// bar, the entry the library puts there clicked, and the library's real dialog read and typed into from
// a timer that the dialog's modal loop serves, as an operator would.
#include "tools/host/settings_command.h"

#include <windows.h>

#include <commctrl.h>

#include <charconv>
#include <cstdint>
#include <functional>

#include "platform/win32/settings_dialog_ids.h"

namespace sd::host {
namespace {

using namespace sd::platform::win32;

const wchar_t kEntry[] = L"Настройки связи с Вельтор (Кестров)";

// The dialog's controls by the names the library gives them, with the window that shows each caption.
struct Control {
  const char* name;
  int id;
  int caption_id;
};
constexpr Control kControls[] = {{"edIP", kIdIp, kIdLabel1},
                                 {"edPort", kIdPort, kIdLabel2},
                                 {"edPortbn", kIdPortbn, kIdLabel5},
                                 {"seTimOut", kIdTimeOut, kIdLabel3},
                                 {"cbLog", kIdLog, kIdLog}};

HWND g_frame = nullptr;
HMENU g_settings = nullptr;

std::string Utf8(std::wstring_view wide) {
  std::string out(wide.size() * 3, '\0');
  out.resize(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                            out.data(), static_cast<int>(out.size()), nullptr,
                                                            nullptr)));
  return out;
}

std::wstring Wide(std::string_view utf8) {
  std::wstring out(utf8.size(), L'\0');
  out.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                            out.data(), static_cast<int>(out.size()))));
  return out;
}

std::string TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

std::string ValueOf(HWND dialog, const Control& c) {
  if (c.id == kIdLog) return ::IsDlgButtonChecked(dialog, kIdLog) == BST_CHECKED ? "1" : "0";
  return TextOf(::GetDlgItem(dialog, c.id));
}

void PrintDialog(HWND dialog, std::ostream& out) {
  out << "Dialog.Caption = " << TextOf(dialog) << '\n';
  for (const Control& c : kControls)
    out << "Dialog." << c.name << " = " << ValueOf(dialog, c) << "    (" << TextOf(::GetDlgItem(dialog, c.caption_id))
        << ")\n";
  out << "Dialog.BitBtn1 = " << TextOf(::GetDlgItem(dialog, IDOK)) << '\n';
  out << "Dialog.BitBtn2 = " << TextOf(::GetDlgItem(dialog, IDCANCEL)) << '\n';
}

// Types a value into its control as the library's dialog would take it; false when the control cannot
// hold it (an unknown name, a line break in an edit, a spin value or check state that is no whole number).
bool Type(HWND dialog, const ControlValue& v) {
  for (const Control& c : kControls) {
    if (v.name != c.name) continue;
    if (c.id == kIdIp || c.id == kIdPort || c.id == kIdPortbn) {
      if (v.value.find_first_of("\r\n") != std::string::npos) return false;
      return ::SetDlgItemTextW(dialog, c.id, Wide(v.value).c_str()) != FALSE;
    }
    std::int32_t n = 0;
    const char* end = v.value.data() + v.value.size();
    if (v.value.empty() || std::from_chars(v.value.data(), end, n).ptr != end) return false;
    if (c.id == kIdLog) return ::CheckDlgButton(dialog, kIdLog, n != 0 ? BST_CHECKED : BST_UNCHECKED) != FALSE;
    // The up-down keeps the value within its range, as the spin field does.
    ::SendDlgItemMessageW(dialog, kIdTimeOutSpin, UDM_SETPOS32, 0, n);
    return true;
  }
  return false;
}

// Each dialog of this thread as it opens (the settings dialog, a message box) goes to `on_dialog`.
std::function<void(HWND)>* g_on_dialog = nullptr;
HWND g_last_dialog = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (std::wstring_view(name) != L"#32770" || !::IsWindowVisible(window) || window == g_last_dialog) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;
  g_last_dialog = dialog;
  (*g_on_dialog)(dialog);
}

// The entry's command, or 0 when the library put none into the menu.
UINT EntryCommand() {
  const int last = g_settings != nullptr ? ::GetMenuItemCount(g_settings) - 1 : -1;
  wchar_t caption[128] = {};
  if (last < 0 || ::GetMenuStringW(g_settings, static_cast<UINT>(last), caption, 128, MF_BYPOSITION) <= 0) return 0;
  return std::wstring_view(caption) == kEntry ? ::GetMenuItemID(g_settings, last) : 0;
}

// Clicks the entry and returns once everything it opened has closed.
void ClickEntry(std::function<void(HWND)> on_dialog) {
  g_on_dialog = &on_dialog;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &Tick);
  ::PostMessageW(g_frame, WM_COMMAND, MAKEWPARAM(EntryCommand(), 0), 0);
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  ::KillTimer(nullptr, timer);
  g_on_dialog = nullptr;
}

bool IsMessageBox(HWND dialog) { return ::GetDlgItem(dialog, kIdTimeOutSpin) == nullptr; }

}  // namespace

void PrepareSettings() {
  if (g_frame != nullptr) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = &::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TMainFrm";
  ::RegisterClassW(&wc);
  const HMENU bar = ::CreateMenu();
  g_settings = ::CreatePopupMenu();
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(g_settings), L"&Настройка");
  g_frame = ::CreateWindowW(L"TMainFrm", L"smartdriver-host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, bar,
                            wc.hInstance, nullptr);
}

bool HasSettingsEntry() { return EntryCommand() != 0; }

int RunSettings(const std::vector<ControlValue>& values, std::ostream& out) {
  if (!HasSettingsEntry()) {
    out << "error: the library put no settings entry into the host's menu\n";
    return 1;
  }
  bool refused = false;
  bool message_shown = false;
  ClickEntry([&](HWND dialog) {
    if (IsMessageBox(dialog)) {
      message_shown = true;
      const std::string caption = TextOf(dialog);
      out << "message: " << (caption.empty() ? "" : caption + ": ") << TextOf(::GetDlgItem(dialog, 0xFFFF)) << '\n';
      ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      return;
    }
    PrintDialog(dialog, out);
    for (const ControlValue& v : values) {
      if (!Type(dialog, v)) {
        out << "error: the dialog does not take " << v.name << "=" << v.value << "; nothing applied\n";
        refused = true;
        break;
      }
    }
    if (values.empty() || refused) {
      ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    out << "\nApplying with " << TextOf(::GetDlgItem(dialog, IDOK)) << ":";
    for (const ControlValue& v : values)
      for (const Control& c : kControls)
        if (v.name == c.name) out << ' ' << v.name << '=' << ValueOf(dialog, c);
    out << '\n';
    ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  if (refused) return 2;
  if (message_shown) return 1;
  if (values.empty()) return 0;

  // Open it once more: the show handler reloads the settings file, so this is what was saved.
  out << "\nSaved. The dialog now shows:\n";
  ClickEntry([&](HWND dialog) {
    if (IsMessageBox(dialog)) {
      message_shown = true;
      ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      return;
    }
    PrintDialog(dialog, out);
    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  return message_shown ? 1 : 0;
}

}  // namespace sd::host
