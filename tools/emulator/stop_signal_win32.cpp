// The stop request on Windows: a console control event, turned by its handler into an event that the
// main thread waits for.
#include "tools/emulator/stop_signal.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace sd::emulator {
namespace {

HANDLE g_stop_requested = nullptr;
std::atomic<DWORD> g_control_type{CTRL_C_EVENT};

BOOL WINAPI OnConsoleControl(DWORD type) {
  g_control_type = type;
  SetEvent(g_stop_requested);
  // The system ends the process as soon as the handler of a close, log-off or shut-down returns; held
  // here, the main thread gets to stop the servers and print first, and its exit ends this thread.
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void TakeOverStopSignals() {
  // Named after the process, so that a parent without a console can still ask for the stop; it stands
  // for the Ctrl+Break such a parent would have sent.
  g_control_type = CTRL_BREAK_EVENT;
  const std::wstring name = L"Local\\SmartDriverStop-" + std::to_wstring(GetCurrentProcessId());
  g_stop_requested = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

std::string WaitForStopSignal() {
  WaitForSingleObject(g_stop_requested, INFINITE);
  switch (g_control_type.load()) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "console close";
    case CTRL_LOGOFF_EVENT: return "log-off";
    default: return "shut-down";
  }
}

}  // namespace sd::emulator
