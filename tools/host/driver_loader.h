// The driver library loaded the way a host loads it (the platform's library loader: every symbol resolved
// at once, none made global), GeTDriver looked up by name, one driver object for the whole load,
// released through the destructor before entry 0.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/driver_library.h"
#include "smartdriver/entries.h"

namespace sd::host {

// The library could not be loaded or does not export GeTDriver.
class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class DriverLoader {
 public:
  // Loads the library at path; LoadError when it cannot.
  explicit DriverLoader(const std::string& path);
  ~DriverLoader();  // Unload()
  DriverLoader(const DriverLoader&) = delete;
  DriverLoader& operator=(const DriverLoader&) = delete;

  // The driver object, asked for with GeTDriver on the first call. What GeTDriver raises passes through,
  // and the next call asks again.
  TSmartDriver* Driver();

  // Releases the driver object and unloads the library; the library's threads are gone afterwards.
  // Where an exchange thread keeps the library in memory until it ends (Windows), this waits for that,
  // a few seconds at most, so that the thread's last log lines are written before the program goes on.
  void Unload();

 private:
  std::string path_;
  platform::DriverLibrary library_;
  TSmartDriver* driver_ = nullptr;
};

// The library of this program's own build: <the platform's file name of smartdriver> beside the running
// executable when it is there, else the one in ../lib; empty when the executable's path cannot be told.
std::string DefaultLibraryPath();

}  // namespace sd::host
