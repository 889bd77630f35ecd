// Whether this thread runs the library's load or unload hook, and so holds the system's loader lock.
// DllMain (platform/win32/module.cpp) sets it around the hooks; the thread services read it, since a
// thread's end needs that lock and must not be waited for under it. Shared by the Windows platform
// files only.
#pragma once

namespace sd::platform::win32 {

bool InLoaderCallout();
void SetInLoaderCallout(bool inside);

}  // namespace sd::platform::win32
