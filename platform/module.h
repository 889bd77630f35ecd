// The module's load and unload hook: the platform calls these two functions, which the library defines
// once (driver/library_main.cpp), when the library is loaded into a process and unloaded from it. The
// host calls neither.
//
// POSIX (platform/posix/module.cpp): a static object of the library, linked after every other object,
// so that the load hook runs after every other initialiser of the library and the unload hook before
// any of their destructors. Nothing is locked around them: the load hook may read files, touch the
// host's user interface and start threads; the unload hook may wait for threads. The library really
// unloads when its last reference goes, so the unload hook must join every thread still running the
// library's code (each ends on its own within its limits) before the resources they use are released.
//
// Windows (platform/win32/module.cpp): DllMain, after the runtime has run the library's initialisers and
// before it runs their destructors, with the loader lock held: `under_loader_lock` is true. Then the
// load hook only creates kernel objects and plain memory; it loads no library, reads no file, touches
// no window and starts no thread. What start-up would do beyond that (loading the settings, the host
// menu entry) is deferred to a safe moment on the host's thread, the first GeTDriver. The unload hook
// never waits: each exchange thread holds a reference to the module while it runs and drops it as it
// leaves (FreeLibraryAndExitThread, platform/thread.h), so by the time the unload hook runs every
// exchange thread's body has returned and joining it does not wait. The host menu entry goes with calls
// that send no message to another thread. At process exit the system has already ended the other
// threads wherever they stood: the hook then joins nothing and takes no lock they may have held.
//
// On both platforms each hook runs once per load, and the unload hook writes nothing.
#pragma once

namespace sd::platform {

// Defined by the library, called only by the platform.
void OnModuleLoad(bool under_loader_lock);
void OnModuleUnload(bool under_loader_lock);

}  // namespace sd::platform
