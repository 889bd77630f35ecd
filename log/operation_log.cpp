// The operation log writer: every line is one open-append-close under LogLock, followed by the size check
// and, past the limit, the move to the dated name.
#include "log/operation_log.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "log/log_lines.h"
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

// The log file's native path, made again only when drive C is another directory than at the last line
// (a program may choose it, and each test case does). Called under LogLock, which guards the cache. It is
// kept in fixed buffers of the module's own data, so that a line written while the program ends still
// finds it and nothing is left on the heap when the library is unloaded; a path too long for them is
// simply made again for every line.
struct PathCache {
  char root[1024];
  char path[2048];
};
PathCache g_path_cache;

std::string NativeLogPath() {
  const std::string root = platform::DriveCRoot();
  if (g_path_cache.path[0] != '\0' && root == g_path_cache.root) return g_path_cache.path;
  std::string path = platform::NativePath(kLogPath);
  if (root.size() < sizeof g_path_cache.root && path.size() < sizeof g_path_cache.path &&
      root.find('\0') == std::string::npos) {
    std::memcpy(g_path_cache.root, root.c_str(), root.size() + 1);
    std::memcpy(g_path_cache.path, path.c_str(), path.size() + 1);
  }
  return path;
}

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

std::string EscapeControls(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += "\\x";
      out += kDigits[b >> 4];
      out += kDigits[b & 0xF];
    }
  }
  return out;
}

namespace {

bool HasControls(std::string_view text) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

// The switch is written by the settings on the host's thread while exchange threads read it, so both
// sides touch it atomically.
bool LoggingOn() {
  return std::atomic_ref<bool>(const_cast<bool&>(*g_switch.load(std::memory_order_acquire)))
      .load(std::memory_order_relaxed);
}

void WriteLine(std::string_view text);

}  // namespace

bool LogEnabled() { return LoggingOn(); }

void WriteOperationStart() { WriteLine(LineText(LogLine::Blank)); }

void WriteLog(std::string_view text) {
  if (HasControls(text)) {
    WriteLine(EscapeControls(text));
  } else {
    WriteLine(text);
  }
}

bool TryWriteLog(std::string_view text) noexcept {
  try {
    WriteLog(text);
    return true;
  } catch (...) {
    return false;
  }
}

namespace {

// The first dated name that no file has yet: the date, then ".1", ".2" and on, so that a second move
// on the same day never replaces the first one's log.
std::string FreeRotatedName(const std::string& dated) {
  const auto& files = platform::Files();
  std::string target = platform::NativePath(dated);
  for (int n = 1; files.exists(target); ++n) target = platform::NativePath(dated + "." + std::to_string(n));
  return target;
}

void WriteLine(std::string_view text) {
  if (!LoggingOn()) return;

  const auto& clock = platform::Clock();
  const auto& files = platform::Files();
  // The time is read under the lock, so that the lines stand in the order of their time stamps.
  // An entry's frame unlocks it when a host unwinds through the entry.
  platform::EntryLock hold(g_log_lock);
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

  const std::string path = NativeLogPath();
  // The size comes from the write itself: the file was closed right after, so it is the size a second
  // open would find, without paying for that open on every line.
  std::int64_t size = 0;
  if (const int code = files.append(path, line, &size); code != 0) throw EInOutError(code);
  if (size > kRotateAbove) {
    std::string dated(kLogPath);
    dated += platform::FileNameSafe(clock.short_date_text());
    // A failed move is not reported: the log keeps growing and the move is tried after the next write.
    files.move_replacing(path, FreeRotatedName(dated));
  }
}

}  // namespace

}  // namespace sd::log
