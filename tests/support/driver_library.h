// The driver library loaded the way a host loads it: the platform's library loader, GeTDriver by name,
// entries through the object's table, and unloaded at the end.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/driver_library.h"
#include "smartdriver/entries.h"
#include "smartdriver/errors.h"

namespace sd::testing {

// The test build's own library unless a test names another; a load that fails throws its message.
class DriverLibrary : public platform::DriverLibrary {
 public:
  explicit DriverLibrary(const std::string& path = SD_TEST_LIBRARY) {
    std::string error;
    if (!Load(path, &error)) throw std::runtime_error(error);
  }
};

// The message of what an entry raised, or "" when it returned.
template <typename Call>
std::string Raised(Call&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace sd::testing
