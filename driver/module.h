// Module start-up and shutdown: what happens between the host loading the library and asking for a
// driver, and when the library is unloaded. The platform's load and unload hook runs them
// (platform/module.h), once per load, never the host.
#pragma once

namespace sd::driver {

// Creates the exchange event, starts the settings (which loads them from the file) and binds the log's
// switch to them. Writes nothing. Under the loader lock (Windows) the settings start on the host's thread
// instead, in FinishStartOnHostThread.
void StartModule(bool under_loader_lock);

// What start-up left for the host's thread; GeTDriver runs it before anything else. Nothing to do when
// start-up did everything.
void FinishStartOnHostThread();

// Joins exchange threads that still run (each ends within its wait), removes the menu entry, destroys the settings
// dialog and closes the event, in that order, then undoes the socket library's start-up. Under the
// loader lock (Windows) the socket library stays started: WSACleanup may unload its providers and so
// must not run there, and the library stays loaded in the process either way. Writes nothing.
void StopModule(bool under_loader_lock);

}  // namespace sd::driver
