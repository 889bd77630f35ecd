#!/usr/bin/env bash
# Opens the Windows DLL's settings dialog in a small till window under Wine on a virtual X display, and
# takes one screenshot of that display with ImageMagick.
#   scripts/screenshot-settings-win32.sh [picture.png]      default: build-win32/settings-dialog.png
# The till is built here from the C below: a "TMainFrm" frame with "&Настройка" in its menu bar that
# loads smartdriver.dll, starts it with GeTDriver and clicks the entry the library added.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v xvfb-run >/dev/null || missing+=(xvfb xauth)
command -v import >/dev/null || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null
fi

scripts/build-win32.sh --target smartdriver >/dev/null
build_dir="${BUILD_DIR:-build-win32}"
picture="$(realpath -m "${1:-$build_dir/settings-dialog.png}")"
work="$PWD/$build_dir/screenshot"
mkdir -p "$work/drive/ZEMO/LogFiles"
printf '[RemoteDiscount]\r\nIP=192.168.1.10\r\nPort=6010\r\nPortbn=6011\r\nbWaitTimeOut=5000\r\nbEnableLog=1\r\n' \
  >"$work/drive/ZEMO/Kestmark.INI"

cat >"$work/till.c" <<'EOF'
#include <windows.h>

typedef void* (__stdcall *GetDriver)(unsigned char);

static HMENU settings;

static void CALLBACK ClickEntry(HWND frame, UINT message, UINT_PTR timer, DWORD time) {
  KillTimer(frame, timer);
  PostMessageW(frame, WM_COMMAND, GetMenuItemID(settings, GetMenuItemCount(settings) - 1), 0);
}

int main(int argc, char** argv) {
  WNDCLASSW wc = {0};
  HMENU bar = CreateMenu();
  HMODULE library;
  HWND frame;
  MSG message;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
  wc.lpszClassName = L"TMainFrm";
  RegisterClassW(&wc);
  settings = CreatePopupMenu();
  AppendMenuW(settings, MF_STRING, 101, L"\x041f\x0440\x0438\x043d\x0442\x0435\x0440");
  AppendMenuW(bar, MF_POPUP, (UINT_PTR)settings, L"&\x041d\x0430\x0441\x0442\x0440\x043e\x0439\x043a\x0430");
  frame = CreateWindowW(L"TMainFrm", L"Till", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 600, 400, NULL, bar,
                        wc.hInstance, NULL);
  library = LoadLibraryExA(argc > 1 ? argv[1] : "smartdriver.dll", NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (library == NULL) return 1;
  ((GetDriver)(void*)GetProcAddress(library, "GeTDriver"))(0);
  SetTimer(frame, 1, 500, ClickEntry);
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
EOF
i686-w64-mingw32-gcc -O1 -o "$work/till.exe" "$work/till.c"

# A prefix of its own with a real display driver (the tests' prefix has the null one).
export WINEPREFIX="$work/wine" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
windows_path() { echo "Z:$1" | tr / '\\'; }
export SMARTDRIVER_DRIVE_C="$(windows_path "$work/drive")"
dll="$(windows_path "$PWD/$build_dir/bin/smartdriver.dll")"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  wineboot --init >/dev/null 2>&1 || true
  wine "$1" "$2" >/dev/null 2>&1 &
  sleep 8
  import -window root "$3"
  wineserver -k >/dev/null 2>&1 || true
' _ "$work/till.exe" "$dll" "$picture"
echo "$picture"
