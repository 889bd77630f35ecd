// The operation log writer: every line is one open-append-close under LogLock, followed by the size check
// and, past the limit, the move to the dated name.
#include "log/operation_log.h"

#include <atomic>
#include <mutex>
#include <string>

#include "platform/boundary.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"

namespace sd::log {
namespace {

using namespace sd::literals;

constexpr std::string_view kLogPath = "C:\\ZEMO\\LogFiles\\Орвелина.log"_w;

// LogLock. A mutex with a constant initialiser and no destructor work exists from load to unload, so a
// writer can never find it missing.
std::mutex g_log_lock;

bool g_default_switch = true;
std::atomic<const bool*> g_switch{&g_default_switch};

}  // namespace

void BindLogSwitch(const bool* enabled) {
  g_switch.store(enabled != nullptr ? enabled : &g_default_switch, std::memory_order_release);
}

std::string_view LogPath() { return kLogPath; }

std::int64_t LogFileSize(std::string_view windows_path) {
  const std::string path = platform::NativePath(windows_path);
  const auto& files = platform::Files();
  if (!files.exists(path)) return 0;
  std::int64_t size = 0;
  if (const int code = files.size(path, &size); code != 0) throw EInOutError(code);
  return size;
}

void WriteLog(std::string_view text) {
  if (!*g_switch.load(std::memory_order_acquire)) return;

  const auto& clock = platform::Clock();
  const auto& files = platform::Files();
  // The time is read under the lock, so that the lines stand in the order of their time stamps.
  // An entry's frame unlocks it when a host unwinds through the entry.
  platform::EntryLock hold(g_log_lock);
  std::string line = clock.short_date_text();
  line += ' ';
  line += clock.long_time_text();
  line += " - ";
  line += text;
  line += "\r\n";

  const std::string path = platform::NativePath(kLogPath);
  // The size comes from the write itself: the file was closed right after, so it is the size a second
  // open would find, without paying for that open on every line.
  std::int64_t size = 0;
  if (const int code = files.append(path, line, &size); code != 0) throw EInOutError(code);
  if (size > kRotateAbove) {
    std::string target(kLogPath);
    target += platform::FileNameSafe(clock.short_date_text());
    // A failed move is not reported: the log keeps growing and the move is tried after the next write.
    files.move_replacing(path, platform::NativePath(target));
  }
}

}  // namespace sd::log
