// Module start-up and shutdown: what happens between the host loading the library and asking for a
// driver, and when the library is unloaded. Both run once per load, never by the host.
#pragma once

namespace sd::driver {

// Creates the exchange event, starts the settings (which loads them from the file) and binds the log's
// switch to them. Writes nothing.
void StartModule();

// Joins exchange threads that still run (each ends within its wait), removes the menu entry, destroys the settings
// dialog and closes the event, in that order. Writes nothing.
void StopModule();

}  // namespace sd::driver
