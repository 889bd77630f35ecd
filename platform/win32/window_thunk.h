// A window procedure that lives outside the library's image: a few bytes of code that pass every message
// to the library's procedure while the library is loaded and, once the library has let go of a window it
// could not give back its own procedure, to that procedure instead. A subclassed window then never calls
// into the code of a library that is gone, whatever the system does with a library pinned during its
// unload. Shared by the Windows platform files only; machine code for i386 and x86-64.
#pragma once

#include <windows.h>

namespace sd::platform::win32 {

class WindowThunk;

// A thunk in front of `library_proc` for a window whose own procedure is `original`; nullptr when the
// system gives no executable memory. It is never freed: it is what the window may still call.
WindowThunk* MakeWindowThunk(WNDPROC library_proc, WNDPROC original);

// The procedure to install in the window.
WNDPROC ThunkProc(WindowThunk* thunk);

// From now on every message goes to the window's own procedure, through CallWindowProcW, and none to the
// library. Safe from any thread, at any moment.
void ForwardToOriginal(WindowThunk* thunk);

}  // namespace sd::platform::win32
