// The library's one export, GeTDriver, and the hook that runs module start-up and shutdown when the
// library is loaded and unloaded. Built only into the shared library.
#include <cstdint>
#include <memory>

#include "driver/entries.h"
#include "driver/module.h"
#include "log/operation_log.h"
#include "smartdriver/cp1251.h"

extern "C" SD_EXPORT sd::TSmartDriver* SD_STDCALL GeTDriver(std::uint8_t /*ignored*/) {
  using namespace sd::literals;
  // The object is released when the log write fails, rather than lost to nobody.
  std::unique_ptr<sd::TSmartDriver> driver(sd::driver::NewDriver());
  sd::log::WriteLog("Драйвер загружен"_w);
  return driver.release();
}

namespace {

// Loading the library constructs this object and unloading destroys it; the host calls neither.
struct ModuleLifetime {
  ModuleLifetime() { sd::driver::StartModule(); }
  ~ModuleLifetime() { sd::driver::StopModule(); }
  ModuleLifetime(const ModuleLifetime&) = delete;
  ModuleLifetime& operator=(const ModuleLifetime&) = delete;
};

ModuleLifetime g_lifetime;

}  // namespace
