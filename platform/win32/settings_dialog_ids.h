// The command identifiers of the settings dialog's windows, beside IDOK (Apply) and IDCANCEL (Cancel):
// what the dialog's code and a program that drives the dialog (a test, the host tool) both know it by.
#pragma once

namespace sd::platform::win32 {

enum SettingsDialogId : int {
  kIdLog = 101,       // the operation log check box
  kIdTimeOut = 102,   // the reply time-out's edit
  kIdTimeOutSpin,     // and its up-down control
  kIdPortbn,          // the cashless server port
  kIdPort,            // the discount server port
  kIdIp,              // the server address
  kIdLabel3,          // the labels of the time-out, the cashless port, the discount port, the address
  kIdLabel5,
  kIdLabel2,
  kIdLabel1,
};

}  // namespace sd::platform::win32
