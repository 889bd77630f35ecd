// The host's main form and menu bar as the Windows platform reaches them itself: the main frame found
// among the process's top-level windows, its menu items as small records that stay the same object for
// as long as the item exists, and the library's entries whose clicks arrive through a subclass of the
// frame's window procedure. Also the message box owned by no window.
#include "platform/win32/host_windows.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui_system.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/window_thunk.h"

namespace sd::platform::win32 {
namespace {

// A menu item as a handle: the menu that holds it, its command and its submenu. Items are found again
// by these, not by their position, which changes when an item before them goes.
struct MenuItem {
  HMENU menu;
  UINT id;
  HMENU submenu;
};

// An entry the library added; its click calls on_click(ctx) until the library lets go of it.
struct Entry {
  HMENU menu;
  UINT id;
  void (*on_click)(void*);
  void* ctx;
};

// Everything the frame's subclass reaches. It is allocated, not static: when the library cannot undo the
// subclass at unload, the window's thread may still be reading it while the library goes.
struct State {
  std::vector<std::unique_ptr<MenuItem>> items;
  std::vector<Entry> entries;
  HWND form = nullptr;       // the form whose menu bar was last asked for
  HWND frame = nullptr;      // the subclassed window
  WNDPROC original = nullptr;
  WindowThunk* thunk = nullptr;  // the frame's procedure while it is subclassed
  std::string scratch;       // the caption last handed out
};

constinit State* g_state = nullptr;

State& St() {
  if (g_state == nullptr) g_state = new State;
  return *g_state;
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  State& s = *g_state;
  const WNDPROC original = s.original;
  if (message == WM_COMMAND && HIWORD(wparam) == 0 && lparam == 0) {
    for (const Entry& e : s.entries) {
      if (e.id != LOWORD(wparam)) continue;
      const Entry entry = e;  // the click may change the entries
      if (entry.on_click != nullptr) entry.on_click(entry.ctx);
      return 0;
    }
  }
  if (message == WM_NCDESTROY) {
    // The window's menu goes with it; nothing is left to undo at unload.
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    s.frame = nullptr;
    s.original = nullptr;
    s.thunk = nullptr;
    s.entries.clear();
  }
  return ::CallWindowProcW(original, window, message, wparam, lparam);
}

bool OnOwnThread(HWND window) { return ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId(); }

MENUITEMINFOW InfoAt(HMENU menu, int position, UINT mask) {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = mask;
  if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) info.fMask = 0;
  return info;
}

MenuItem* ItemAt(HMENU menu, int position) {
  const MENUITEMINFOW info = InfoAt(menu, position, MIIM_ID | MIIM_SUBMENU);
  if (info.fMask == 0) return nullptr;
  State& s = St();
  for (const auto& item : s.items)
    if (item->menu == menu && item->id == info.wID && item->submenu == info.hSubMenu) return item.get();
  s.items.push_back(std::make_unique<MenuItem>(MenuItem{menu, info.wID, info.hSubMenu}));
  return s.items.back().get();
}

// The item's position in its menu; -1 when it is no longer there.
int PositionOf(const MenuItem& item) {
  const int count = ::GetMenuItemCount(item.menu);
  for (int i = 0; i < count; ++i) {
    const MENUITEMINFOW info = InfoAt(item.menu, i, MIIM_ID | MIIM_SUBMENU);
    if (info.fMask != 0 && info.wID == item.id && info.hSubMenu == item.submenu) return i;
  }
  return -1;
}

int Count(HMENU menu) { return menu != nullptr ? (std::max)(::GetMenuItemCount(menu), 0) : 0; }

// A command that no item of the window's menu bar uses yet.
UINT FreeCommand(HMENU bar) {
  for (UINT id = 0xE100; id < 0xF000; ++id)
    if (::GetMenuState(bar, id, MF_BYCOMMAND) == static_cast<UINT>(-1)) return id;
  return 0;
}

void Unsubclass(State& s) {
  ::SetWindowLongPtrW(s.frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s.original));
  s.frame = nullptr;
  s.original = nullptr;
  s.thunk = nullptr;
}

// Takes one of the library's own entries out of the menu, and the subclass with the last one. That is
// safe only on the window's thread while the subclass is still the window's procedure. Otherwise (an
// unload on another thread, where this runs inside the unload's DllMain) the library lets go of the
// window without touching it: the thunk outside the library hands every message to the window's own
// procedure from now on, the entries stay in the menu doing nothing (a later load replaces an entry of its
// caption), and the library goes at once. It never pins itself here: its shutdown is already running.
void RemoveEntry(State& s, std::size_t index, int position) {
  const bool alive = s.frame != nullptr && ::IsWindow(s.frame);
  if (alive && (!OnOwnThread(s.frame) ||
                ::GetWindowLongPtrW(s.frame, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(ThunkProc(s.thunk)))) {
    for (Entry& e : s.entries) e.on_click = nullptr;
    ForwardToOriginal(s.thunk);
    // The records are left to the process: the window's thread may be reading them at this moment.
    g_state = nullptr;
    return;
  }
  if (alive) ::DeleteMenu(s.entries[index].menu, static_cast<UINT>(position), MF_BYPOSITION);
  s.entries.erase(s.entries.begin() + static_cast<std::ptrdiff_t>(index));
  if (!alive || !s.entries.empty()) return;
  Unsubclass(s);
  // Nothing refers to the records any more.
  delete g_state;
  g_state = nullptr;
}

BOOL CALLBACK FindFrame(HWND window, LPARAM found) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId()) return TRUE;
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (::_wcsicmp(name, L"TMainFrm") != 0 && ::_wcsicmp(name, L"MainFrm") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

bool IsWindowedProgram() {
  const auto* image = reinterpret_cast<const unsigned char*>(::GetModuleHandleW(nullptr));
  if (image == nullptr) return false;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

// The table's functions: `host` is unused, the state is the process's one. Items change only inside
// drop-down menus, which are drawn afresh each time they open, so the menu bar is never redrawn (nor the
// host's code called while the library unloads).
void* FindComponent(void*, const char* name) {
  return name != nullptr && ::_stricmp(name, "MainFrm") == 0 ? FindMainFrame() : nullptr;
}

void* MainMenu(void*, void* form) {
  St().form = static_cast<HWND>(form);
  return ::GetMenu(static_cast<HWND>(form));
}

int ItemCount(void*, void* menu) { return Count(static_cast<HMENU>(menu)); }

void* ItemAtIndex(void*, void* menu, int index) { return ItemAt(static_cast<HMENU>(menu), index); }

int ChildCount(void*, void* item) { return Count(static_cast<MenuItem*>(item)->submenu); }

void* ChildAt(void*, void* item, int index) { return ItemAt(static_cast<MenuItem*>(item)->submenu, index); }

const char* Caption(void*, void* handle) {
  const auto& item = *static_cast<MenuItem*>(handle);
  State& s = St();
  s.scratch.clear();
  const int position = PositionOf(item);
  if (position < 0) return s.scratch.c_str();
  MENUITEMINFOW info = InfoAt(item.menu, position, MIIM_FTYPE | MIIM_STRING);
  if (info.fType & MFT_SEPARATOR) return s.scratch.assign("-").c_str();
  std::wstring text(info.cch + 1, L'\0');
  info.fMask = MIIM_STRING;
  info.dwTypeData = text.data();
  info.cch = static_cast<UINT>(text.size());
  if (::GetMenuItemInfoW(item.menu, static_cast<UINT>(position), TRUE, &info))
    s.scratch = Narrow(std::wstring_view(text.c_str()));
  return s.scratch.c_str();
}

void RemoveChild(void*, void*, void* child) {
  const auto& item = *static_cast<MenuItem*>(child);
  State& s = St();
  const int position = PositionOf(item);
  for (std::size_t i = 0; i < s.entries.size(); ++i)
    if (s.entries[i].menu == item.menu && s.entries[i].id == item.id) return RemoveEntry(s, i, position);
  if (position < 0) return;
  ::DeleteMenu(item.menu, static_cast<UINT>(position), MF_BYPOSITION);
}

void* AppendChild(void*, void* parent, const char* caption, void (*on_click)(void*), void* ctx) {
  State& s = St();
  const HMENU menu = static_cast<MenuItem*>(parent)->submenu;
  const HWND form = s.form;
  // The subclass is made, and the click arrives, on the window's own thread.
  if (menu == nullptr || form == nullptr || !::IsWindow(form) || !OnOwnThread(form)) return nullptr;
  if (s.frame != nullptr && s.frame != form) return nullptr;
  const UINT id = FreeCommand(::GetMenu(form));
  if (id == 0 || !::AppendMenuW(menu, MF_STRING, id, Wide(caption).c_str())) return nullptr;
  if (s.frame == nullptr) {
    const auto original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(form, GWLP_WNDPROC));
    WindowThunk* thunk = MakeWindowThunk(&FrameProc, original);
    if (thunk == nullptr) {
      ::DeleteMenu(menu, id, MF_BYCOMMAND);
      return nullptr;
    }
    s.frame = form;
    s.thunk = thunk;
    s.original = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(form, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ThunkProc(thunk))));
  }
  s.entries.push_back(Entry{menu, id, on_click, ctx});
  return ItemAt(menu, Count(menu) - 1);
}

void MessageBoxFunction(void*, const char* text, const char* caption) { WindowsMessageBox(text, caption); }

int ShowDialog(void*, const SdDialog* dialog) {
  return dialog != nullptr ? ShowSettingsDialog(*dialog, FindMainFrame()) : SD_MODAL_CANCEL;
}

constexpr SdHostUi kTable{sizeof(SdHostUi), SD_HOST_UI_VERSION, nullptr, &FindComponent, &MainMenu,
                          &ItemCount, &ItemAtIndex, &ChildCount, &ChildAt, &Caption, &RemoveChild,
                          &AppendChild, &MessageBoxFunction, &ShowDialog};

}  // namespace

const SdHostUi* WindowsHostUi() { return &kTable; }

HWND FindMainFrame() {
  HWND found = nullptr;
  ::EnumWindows(&FindFrame, reinterpret_cast<LPARAM>(&found));
  return found;
}

void WindowsMessageBox(const char* text, const char* caption) {
  const std::string_view t = text != nullptr ? text : "", c = caption != nullptr ? caption : "";
  if (IsWindowedProgram() || FindMainFrame() != nullptr) {
    ::MessageBoxW(nullptr, Wide(t).c_str(), Wide(c).c_str(), MB_OK | MB_TASKMODAL);
    return;
  }
  system_ui::MessageToStandardError(t, c);
}

}  // namespace sd::platform::win32
