// The operation log writer: every line is one open-append-close under LogLock, followed by the size check
// and, past the limit, the move to the dated name.
#include "log/operation_log.h"

#include <atomic>
#include <mutex>
#include <string>

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

// The log file's native path, made again only when drive C is another directory than at the last line
// (a program may choose it, and each test case does). Called under LogLock, which guards the texts;
// they are never destroyed, so that a line written while the program ends still finds them.
const std::string& NativeLogPath() {
  struct Made {
    std::string root;
    std::string path;
  };
  static Made* const made = new Made;
  std::string now = platform::DriveCRoot();
  if (made->path.empty() || now != made->root) {
    made->path = platform::NativePath(kLogPath);
    made->root = std::move(now);
  }
  return made->path;
}

}  // namespace

void BindLogSwitch(const bool* enabled) {
  g_switch.store(enabled != nullptr ? enabled : &g_default_switch, std::memory_order_release);
}

bool LogEnabled() { return *g_switch.load(std::memory_order_acquire); }

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
  if (!LogEnabled()) return;

  const auto& clock = platform::Clock();
  const auto& files = platform::Files();
  // The time is read under the lock, so that the lines stand in the order of their time stamps.
  std::lock_guard<std::mutex> hold(g_log_lock);
  const std::string date = clock.short_date_text();
  const std::string time = clock.long_time_text();
  std::string line;
  line.reserve(date.size() + 1 + time.size() + 3 + text.size() + 2);
  line += date;
  line += ' ';
  line += time;
  line += " - ";
  line += text;
  line += "\r\n";

  const std::string& path = NativeLogPath();
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
