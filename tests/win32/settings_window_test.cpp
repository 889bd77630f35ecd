// The settings entry and dialog in a host's real windows: a "TMainFrm" frame whose menu bar's
// "&Настройка" already holds items, one of them a stale settings entry, and the library loaded into it
// as a till loads it. Dialogs are driven from a timer that their own modal loops serve.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/settings_dialog_ids.h"
#include "support/driver_library.h"
#include "tools/emulator/emulator.h"
#include "support/temp_drive.h"

namespace sd::testing {
namespace {

using namespace platform::win32;

const std::wstring kEntry = L"Настройки связи с Вельтор (Кестров)";
const std::vector<std::wstring> kHostItems = {L"Принтер", L"-", L"Сервис"};
constexpr char kIni[] =
    "[RemoteDiscount]\r\nIP=192.168.7.7\r\nPort=6001\r\nPortbn=6002\r\nbWaitTimeOut=2500\r\nbEnableLog=0\r\n";

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// What a test does with each dialog that opens, in turn.
using Action = std::function<void(HWND dialog)>;

struct Script {
  std::vector<Action> actions;
  std::size_t next = 0;
  std::vector<HWND> seen;
};
Script* g_script = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (std::wstring_view(name) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
  for (HWND seen : g_script->seen)
    if (seen == window) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  Script& s = *g_script;
  HWND dialog = nullptr;
  if (s.next >= s.actions.size()) return;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;
  s.seen.push_back(dialog);
  s.actions[s.next++](dialog);
}

// The frame's own procedure, which counts the commands that reach it.
int g_host_commands = 0;
template <bool kAnsi>
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND) ++g_host_commands;
  return kAnsi ? ::DefWindowProcA(window, message, wparam, lparam) : ::DefWindowProcW(window, message, wparam, lparam);
}

// A key as the operator presses it in a dialog's control.
void Press(HWND dialog, int id, WPARAM key) { ::PostMessageW(::GetDlgItem(dialog, id), WM_KEYDOWN, key, 0); }

class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { drive_.WriteSettings(kIni); }
  void TearDown() override {
    if (frame_ != nullptr) ::DestroyWindow(frame_);
  }

  // The host's frame, of the given window class, with "&Файл" and "&Настройка" in its menu bar. An ANSI
  // frame stands for a till whose windows are not Unicode.
  void CreateFrame(const wchar_t* window_class, bool ansi = false) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const std::string narrow_class(window_class, window_class + std::wcslen(window_class));
    if (ansi) {
      WNDCLASSA wc{};
      wc.lpfnWndProc = &HostProc<true>;
      wc.hInstance = instance;
      wc.lpszClassName = narrow_class.c_str();
      ::RegisterClassA(&wc);
    } else {
      WNDCLASSW wc{};
      wc.lpfnWndProc = &HostProc<false>;
      wc.hInstance = instance;
      wc.lpszClassName = window_class;
      ::RegisterClassW(&wc);
    }
    const HMENU bar = ::CreateMenu(), file = ::CreatePopupMenu();
    settings_ = ::CreatePopupMenu();
    ::AppendMenuW(file, MF_STRING, 100, L"&Выход");
    ::AppendMenuW(settings_, MF_STRING, 101, kHostItems[0].c_str());
    ::AppendMenuW(settings_, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(settings_, MF_STRING, 102, kEntry.c_str());
    ::AppendMenuW(settings_, MF_STRING, 103, kHostItems[2].c_str());
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&Файл");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(settings_), L"&Настройка");
    frame_ = ansi ? ::CreateWindowA(narrow_class.c_str(), "Till", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, bar,
                                    instance, nullptr)
                  : ::CreateWindowW(window_class, L"Till", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, bar,
                                    instance, nullptr);
    ASSERT_NE(frame_, nullptr);
    original_proc_ = ::GetWindowLongPtrW(frame_, GWLP_WNDPROC);
  }

  // Loads the library and starts it as a host does.
  void Load() {
    library_.emplace();
    ASSERT_NE(library_->GetDriver(), nullptr);
  }

  std::vector<std::wstring> Items() const {
    std::vector<std::wstring> items;
    for (int i = 0; i < ::GetMenuItemCount(settings_); ++i) {
      wchar_t text[128] = {};
      const int n = ::GetMenuStringW(settings_, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
      items.push_back(n > 0 ? text : L"-");
    }
    return items;
  }

  // Posts the click of the menu's last item and serves the dialogs it opens, one action each.
  void ClickEntry(std::vector<Action> actions) {
    Script script{std::move(actions), 0, {}};
    g_script = &script;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &Tick);
    const UINT id = ::GetMenuItemID(settings_, ::GetMenuItemCount(settings_) - 1);
    ::PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::KillTimer(nullptr, timer);
    g_script = nullptr;
    EXPECT_EQ(script.next, script.actions.size()) << "dialogs opened";
  }

  // Whether the frame still answers as a window.
  bool FrameWorks() const {
    ::SetWindowTextW(frame_, L"Till 2");
    return TextOf(frame_) == L"Till 2";
  }

  TempDrive drive_;
  HWND frame_ = nullptr;
  HMENU settings_ = nullptr;
  LONG_PTR original_proc_ = 0;
  std::optional<DriverLibrary> library_;
};

TEST_F(SettingsWindowTest, EntryReplacesTheStaleOneStandsLastAndGoesAtUnload) {
  for (const bool ansi : {false, true}) {
    CreateFrame(L"TMainFrm", ansi);
    Load();
    std::vector<std::wstring> expected = kHostItems;
    expected.push_back(kEntry);
    EXPECT_EQ(Items(), expected) << ansi;
    EXPECT_NE(::GetWindowLongPtrW(frame_, GWLP_WNDPROC), original_proc_) << ansi;
    EXPECT_TRUE(FrameWorks()) << ansi;

    library_->Unload();
    EXPECT_EQ(Items(), kHostItems) << ansi;
    EXPECT_EQ(::GetWindowLongPtrW(frame_, GWLP_WNDPROC), original_proc_) << ansi;
    EXPECT_TRUE(FrameWorks()) << ansi;
    ::DestroyWindow(frame_);
    frame_ = nullptr;
    ::UnregisterClassW(L"TMainFrm", ::GetModuleHandleW(nullptr));
  }
}

TEST_F(SettingsWindowTest, HostWithoutMainFrameGetsAWorkingDriverAndNoEntry) {
  CreateFrame(L"TOtherFrm");
  Load();
  EXPECT_EQ(Items().size(), 4u);
  EXPECT_EQ(::GetWindowLongPtrW(frame_, GWLP_WNDPROC), original_proc_);
}

TEST_F(SettingsWindowTest, DialogShowsTheControlsFilledFromTheFileAndCancelSavesNothing) {
  CreateFrame(L"TMainFrm");
  Load();
  RECT moved{};
  ClickEntry({[&](HWND d) {
    EXPECT_EQ(TextOf(d), L"Настройки подключения к системе Вельтор");
    EXPECT_TRUE(::GetWindowLongPtrW(d, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    RECT client{};
    ::GetClientRect(d, &client);
    EXPECT_EQ(client.right, 322);
    EXPECT_EQ(client.bottom, 186);
    EXPECT_EQ(::GetWindow(d, GW_OWNER), frame_);
    EXPECT_FALSE(::IsWindowEnabled(frame_));
    const struct {
      int id;
      std::wstring_view window_class, text;
    } controls[] = {
        {IDOK, L"Button", L"Применить"},
        {IDCANCEL, L"Button", L"Отменить"},
        {kIdLog, L"Button", L"Вести логи по операциям"},
        {kIdTimeOut, L"Edit", L"2"},  // 2.5 s, to the even neighbour
        {kIdPortbn, L"Edit", L"6002"},
        {kIdPort, L"Edit", L"6001"},
        {kIdIp, L"Edit", L"192.168.7.7"},
        {kIdLabel1, L"Static", L"IP адрес сервера___ "},
        {kIdLabel2, L"Static", L"Порт для подключения к серверу скидок _____"},
        {kIdLabel5, L"Static", L"Порт для подключения к серверу безнала ____"},
        {kIdLabel3, L"Static", L"Время ожидания ответа сервера скидок, с. ___"},
    };
    for (const auto& c : controls) {
      const HWND item = ::GetDlgItem(d, c.id);
      wchar_t name[32] = {};
      ::GetClassNameW(item, name, 32);
      EXPECT_EQ(std::wstring_view(name).size(), c.window_class.size()) << c.id;
      EXPECT_EQ(::_wcsicmp(name, std::wstring(c.window_class).c_str()), 0) << c.id;
      EXPECT_EQ(TextOf(item), c.text) << c.id;
    }
    EXPECT_EQ(::GetWindowLongPtrW(::GetDlgItem(d, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(::IsDlgButtonChecked(d, kIdLog), BST_UNCHECKED);
    const HWND spin = ::GetDlgItem(d, kIdTimeOutSpin);
    EXPECT_EQ(reinterpret_cast<HWND>(::SendMessageW(spin, UDM_GETBUDDY, 0, 0)), ::GetDlgItem(d, kIdTimeOut));
    int low = 0, high = 0;
    ::SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 2);
    EXPECT_EQ(high, 999);
    ::SetDlgItemTextW(d, kIdPort, L"7777");
    ::SetWindowPos(d, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::GetWindowRect(d, &moved);
    Press(d, kIdPort, VK_ESCAPE);
  }});
  EXPECT_EQ(drive_.ReadSettings(), kIni);
  EXPECT_TRUE(::IsWindowEnabled(frame_));

  // Reopened, it stands where it was left and shows the file's values again.
  ClickEntry({[&](HWND d) {
    RECT at{};
    ::GetWindowRect(d, &at);
    EXPECT_EQ(at.left, moved.left);
    EXPECT_EQ(at.top, moved.top);
    EXPECT_EQ(TextOf(::GetDlgItem(d, kIdPort)), L"6001");
    ::PostMessageW(d, WM_CLOSE, 0, 0);
  }});
  EXPECT_EQ(drive_.ReadSettings(), kIni);
}

TEST_F(SettingsWindowTest, ApplySavesTheTypedValuesOrShowsTheBadPortMessage) {
  CreateFrame(L"TMainFrm");
  Load();
  const struct {
    const wchar_t* portbn;
    std::string saved;    // the file afterwards; empty: unchanged
    bool message;         // whether "Неверный № порта" is shown
  } cases[] = {
      {L"6021", "[RemoteDiscount]\r\nIP=10.1.2.3\r\nPort=6020\r\nPortbn=6021\r\nbWaitTimeOut=7000\r\nbEnableLog=1\r\n",
       false},
      {L"x", "", true},
  };
  for (const auto& c : cases) {
    drive_.WriteSettings(kIni);
    std::vector<Action> actions = {[&](HWND d) {
      ::SetDlgItemTextW(d, kIdIp, L"10.1.2.3");
      ::SetDlgItemTextW(d, kIdPort, L"6020");
      ::SetDlgItemTextW(d, kIdPortbn, c.portbn);
      ::SetDlgItemTextW(d, kIdTimeOut, L"7");
      ::CheckDlgButton(d, kIdLog, BST_CHECKED);
      Press(d, kIdIp, VK_RETURN);
    }};
    if (c.message)
      actions.push_back([](HWND box) {
        EXPECT_EQ(TextOf(box), L"");
        EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), L"Неверный № порта");
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      });
    ClickEntry(std::move(actions));
    EXPECT_EQ(drive_.ReadSettings(), c.saved.empty() ? std::string(kIni) : c.saved) << c.message;
  }
}

TEST_F(SettingsWindowTest, TheNextOperationUsesWhatApplySaved) {
  emulator::Emulator server;
  CreateFrame(L"TMainFrm");
  Load();
  const std::wstring port = std::to_wstring(server.DiscountPort());
  ClickEntry({[&](HWND d) {
    ::SetDlgItemTextW(d, kIdIp, L"127.0.0.1");
    ::SetDlgItemTextW(d, kIdPort, port.c_str());
    Press(d, kIdIp, VK_RETURN);
  }});
  TSmartDriver* driver = library_->GetDriver();
  DiscountResult r{};
  EXPECT_EQ(Raised([&] {
              EntryOf<entry::DiscountOperation>(driver, kDiscountOperation)(&r, driver, 'M', 1, 1, 10, nullptr,
                                                                            nullptr, nullptr);
            }),
            "");
  EXPECT_EQ(server.Exchanges().size(), 1u);
  DestroyOf(driver)(driver);
}

// An unload on another thread lets the library go at once and leaves a harmless entry; a new load gives
// a working driver whose entry stands once, and an unload on the frame's thread then takes it out.
TEST_F(SettingsWindowTest, UnloadOnAnotherThreadLetsTheLibraryGoAndALoadAfterItWorks) {
  CreateFrame(L"mainfrm");
  Load();
  std::thread([&] { library_->Unload(); }).join();
  EXPECT_FALSE(platform::IsLibraryLoaded(SD_TEST_LIBRARY));
  EXPECT_EQ(Items().back(), kEntry);
  g_host_commands = 0;
  ClickEntry({});  // no dialog opens
  EXPECT_EQ(g_host_commands, 1) << "the click must reach the frame's own procedure, and no code of the library";
  EXPECT_TRUE(FrameWorks());

  Load();
  std::vector<std::wstring> expected = kHostItems;
  expected.push_back(kEntry);
  EXPECT_EQ(Items(), expected);
  ClickEntry({[&](HWND d) { Press(d, kIdPort, VK_ESCAPE); }});
  library_->Unload();
  EXPECT_EQ(Items(), kHostItems);
  EXPECT_TRUE(FrameWorks());
  EXPECT_EQ(drive_.ReadSettings(), kIni);
}

}  // namespace
}  // namespace sd::testing
