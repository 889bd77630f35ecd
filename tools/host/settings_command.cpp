// The settings command's arguments, the same on every system.
#include "tools/host/settings_command.h"

#include "tools/host/command_line.h"

namespace sd::host {

ControlValue ParseControlValue(std::string_view text) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw UsageError("bad --set '" + std::string(text) + "': NAME=VALUE, e.g. edPort=6020");
  return {std::string(text.substr(0, eq)), std::string(text.substr(eq + 1))};
}

}  // namespace sd::host
