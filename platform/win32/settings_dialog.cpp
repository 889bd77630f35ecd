// The settings dialog as a real modal Windows dialog: an in-memory template of its twelve windows in tab
// order, laid out in pixels when it opens, filled from and read back into the library's dialog
// interface, and its last position, kept here for as long as the library is loaded.
#include "platform/win32/host_windows.h"

#include <commctrl.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/settings_dialog_ids.h"
#include "platform/win32/text_win32.h"

namespace sd::platform::win32 {
namespace {

constexpr int kClientWidth = 322;
constexpr int kClientHeight = 186;

// One window of the dialog. `name` is the control's name in the dialog interface; a width of 0 sizes a
// label to its caption.
struct Control {
  WORD id;
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style;
  const char* name;
  int x, y, width, height;
};

constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX | WS_CLIPSIBLINGS;

// In tab order: Apply, Cancel, the check box, the time-out, the cashless port, the discount port, the
// address; the labels, which take no focus, after them.
constexpr Control kControls[] = {
    {IDOK, L"Button", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, "BitBtn1", 112, 153, 97, 27},
    {IDCANCEL, L"Button", WS_TABSTOP | BS_PUSHBUTTON, 0, "BitBtn2", 215, 153, 99, 27},
    {kIdLog, L"Button", WS_TABSTOP | BS_AUTOCHECKBOX, 0, "cbLog", 8, 122, 157, 17},
    {kIdTimeOut, L"Edit", kEdit | ES_NUMBER, WS_EX_CLIENTEDGE, "seTimOut", 248, 93, 64, 21},
    {kIdTimeOutSpin, UPDOWN_CLASSW, UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, nullptr,
     0, 0, 0, 0},
    {kIdPortbn, L"Edit", kEdit, WS_EX_CLIENTEDGE, "edPortbn", 248, 56, 64, 21},
    {kIdPort, L"Edit", kEdit, WS_EX_CLIENTEDGE, "edPort", 248, 32, 64, 21},
    {kIdIp, L"Edit", kEdit, WS_EX_CLIENTEDGE, "edIP", 108, 5, 204, 21},
    {kIdLabel3, L"Static", kLabel, 0, "Label3", 8, 96, 0, 0},
    {kIdLabel5, L"Static", kLabel, 0, "Label5", 8, 59, 0, 0},
    {kIdLabel2, L"Static", kLabel, 0, "Label2", 8, 35, 0, 0},
    {kIdLabel1, L"Static", kLabel, 0, "Label1", 8, 8, 0, 0},
};

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr DWORD kDialogExStyle = WS_EX_TOOLWINDOW;

// Where the dialog stood when it last closed, while the library is loaded. It has one window state
// only: its border is fixed and it has no minimise or maximise box.
constinit bool g_placed = false;
constinit POINT g_position{};

std::wstring Text(const SdDialog& d, const char* (*read)(void*, const char*), const char* name) {
  const char* text = read(d.self, name);
  return Wide(text != nullptr ? text : "");
}

// The template in the layout DialogBoxIndirect reads: the dialog's header and font, then each item
// aligned to a DWORD. Positions come later, in pixels; the template's are dialog units.
std::vector<WORD> BuildTemplate(const SdDialog& d) {
  std::vector<WORD> t;
  auto word = [&](WORD w) { t.push_back(w); };
  auto dword = [&](DWORD v) { word(LOWORD(v)), word(HIWORD(v)); };
  auto text = [&](std::wstring_view s) {
    for (const wchar_t c : s) word(static_cast<WORD>(c));
    word(0);
  };
  dword(kDialogStyle);
  dword(kDialogExStyle);
  word(static_cast<WORD>(std::size(kControls)));
  for (int i = 0; i < 4; ++i) word(0);  // x, y, cx, cy
  word(0);                              // no menu
  word(0);                              // the dialog class
  text(Text(d, d.caption, nullptr));
  word(8);
  text(L"Tahoma");
  for (const Control& c : kControls) {
    if (t.size() % 2 != 0) word(0);
    dword(WS_CHILD | WS_VISIBLE | c.style);
    dword(c.ex_style);
    for (int i = 0; i < 4; ++i) word(0);
    word(c.id);
    text(c.window_class);
    const bool captioned = c.name != nullptr && c.id != kIdTimeOut && c.id != kIdPort && c.id != kIdPortbn &&
                           c.id != kIdIp;
    text(captioned ? Text(d, d.caption, c.name) : std::wstring());
    word(0);  // no creation data
  }
  return t;
}

void LayOut(HWND dialog, const SdDialog& d) {
  const HDC dc = ::GetDC(dialog);
  const HGDIOBJ font = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
  for (const Control& c : kControls) {
    if (c.name == nullptr) continue;
    int width = c.width, height = c.height;
    if (width == 0) {
      const std::wstring caption = Text(d, d.caption, c.name);
      SIZE size{};
      ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
      width = size.cx;
      height = size.cy;
    }
    // A label sized to its caption may reach under the edit beside it, which is drawn over it.
    ::SetWindowPos(::GetDlgItem(dialog, c.id), c.width == 0 ? HWND_BOTTOM : nullptr, c.x, c.y, width, height,
                   SWP_NOACTIVATE | SWP_NOREDRAW | (c.width == 0 ? 0 : SWP_NOZORDER));
  }
  ::SelectObject(dc, font);
  ::ReleaseDC(dialog, dc);

  RECT frame{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&frame, kDialogStyle, FALSE, kDialogExStyle);
  POINT at{};
  if (g_placed) {
    at = g_position;
  } else {
    // The first time, centred on the owner, or on the screen without one.
    RECT around{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (const HWND owner = ::GetWindow(dialog, GW_OWNER)) ::GetWindowRect(owner, &around);
    at.x = (around.left + around.right - (frame.right - frame.left)) / 2;
    at.y = (around.top + around.bottom - (frame.bottom - frame.top)) / 2;
  }
  ::SetWindowPos(dialog, nullptr, at.x, at.y, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Fill(HWND dialog, const SdDialog& d) {
  for (const char* name : {"edIP", "edPort", "edPortbn"})
    for (const Control& c : kControls)
      if (c.name != nullptr && std::string_view(c.name) == name)
        ::SetDlgItemTextW(dialog, c.id, Text(d, d.get, name).c_str());
  const HWND spin = ::GetDlgItem(dialog, kIdTimeOutSpin);
  ::SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, kIdTimeOut)), 0);
  ::SendMessageW(spin, UDM_SETRANGE32, 2, 999);
  const char* seconds = d.get(d.self, "seTimOut");
  ::SendMessageW(spin, UDM_SETPOS32, 0, seconds != nullptr ? std::atoi(seconds) : 2);
  const char* log = d.get(d.self, "cbLog");
  ::CheckDlgButton(dialog, kIdLog, log != nullptr && std::string_view(log) == "1" ? BST_CHECKED : BST_UNCHECKED);
}

std::string ItemText(HWND dialog, int id) {
  const HWND item = ::GetDlgItem(dialog, id);
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

// Apply: every control's value from the window into the dialog interface.
void TakeValues(HWND dialog, const SdDialog& d) {
  d.set(d.self, "edIP", ItemText(dialog, kIdIp).c_str());
  d.set(d.self, "edPort", ItemText(dialog, kIdPort).c_str());
  d.set(d.self, "edPortbn", ItemText(dialog, kIdPortbn).c_str());
  if (d.set(d.self, "seTimOut", ItemText(dialog, kIdTimeOut).c_str()) != 0) {
    const LRESULT position = ::SendDlgItemMessageW(dialog, kIdTimeOutSpin, UDM_GETPOS32, 0, 0);
    d.set(d.self, "seTimOut", std::to_string(position).c_str());
  }
  d.set(d.self, "cbLog", ::IsDlgButtonChecked(dialog, kIdLog) == BST_CHECKED ? "1" : "0");
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto& d = *reinterpret_cast<const SdDialog*>(lparam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      LayOut(dialog, d);
      Fill(dialog, d);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        if (LOWORD(wparam) == IDOK)
          TakeValues(dialog, *reinterpret_cast<const SdDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER)));
        ::EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY: {
      RECT at{};
      if (::GetWindowRect(dialog, &at)) g_position = POINT{at.left, at.top}, g_placed = true;
      return FALSE;
    }
    default:
      return FALSE;
  }
}

HINSTANCE ThisModule() {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&DialogProc)), &self);
  return self;
}

}  // namespace

int ShowSettingsDialog(const SdDialog& dialog, HWND owner) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS};
  ::InitCommonControlsEx(&controls);
  const std::vector<WORD> layout = BuildTemplate(dialog);
  const INT_PTR result =
      ::DialogBoxIndirectParamW(ThisModule(), reinterpret_cast<const DLGTEMPLATE*>(layout.data()), owner,
                                &DialogProc, reinterpret_cast<LPARAM>(&dialog));
  return result == IDOK ? SD_MODAL_OK : SD_MODAL_CANCEL;
}

}  // namespace sd::platform::win32
