// The library's one export, GeTDriver, and the module's load and unload hook that the platform calls
// (platform/module.h). Built only into the shared library.
#include <cstdint>
#include <exception>
#include <memory>

#include "driver/entry_table.h"
#include "driver/module.h"
#include "platform/boundary.h"
#include "platform/module.h"
#include "log/log_lines.h"
#include "log/operation_log.h"

namespace {

sd::TSmartDriver* NewDriverForHost() {
  sd::driver::FinishStartOnHostThread();
  // The object is released when the log write fails, rather than lost to nobody.
  std::unique_ptr<sd::TSmartDriver> driver(sd::driver::NewDriver());
  sd::log::WriteLog(sd::log::Line(sd::log::LogLine::Loaded));
  return driver.release();
}

}  // namespace

// The export itself is the boundary: a failure leaves from this frame, as from every entry.
extern "C" SD_EXPORT sd::TSmartDriver* SD_STDCALL GeTDriver(std::uint8_t /*ignored*/) {
  sd::platform::EntryFrame frame;
  std::exception_ptr failure;
  try {
    return NewDriverForHost();
  } catch (...) {
    failure = std::current_exception();
  }
  sd::platform::LeaveEntry(failure, __builtin_return_address(0), frame);
}

namespace sd::platform {

void OnModuleLoad(bool under_loader_lock) { sd::driver::StartModule(under_loader_lock); }
// The shutdown is the same under the loader lock: there the exchange threads pin the module, so every
// one of them has finished when it runs and joining them does not wait (platform/thread.h).
void OnModuleUnload(bool under_loader_lock) { sd::driver::StopModule(under_loader_lock); }

}  // namespace sd::platform
