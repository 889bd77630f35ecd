// Reading back what the driver appended to its operation log.
#include "tools/host/log_tail.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "smartdriver/cp1251.h"

namespace sd::host {
namespace {

using namespace sd::literals;

// The log's name is in Windows-1251, so it is opened through the platform's files, which give it its
// right name on every system rather than through the standard library's narrow names.
std::uintmax_t SizeOf(const std::string& path) {
  std::int64_t size = 0;
  return platform::Files().size(path, &size) == 0 ? static_cast<std::uintmax_t>(size) : 0;
}

}  // namespace

LogTail::LogTail() : LogTail(platform::NativePath("C:\\ZEMO\\LogFiles\\Орвелина.log"_w)) {}

LogTail::LogTail(std::string path) : path_(std::move(path)), start_size_(SizeOf(path_)) {}

std::string LogTail::Appended() const {
  std::string bytes;
  if (platform::Files().read_all(path_, &bytes) != 0) return {};
  const std::size_t from = bytes.size() >= start_size_ ? static_cast<std::size_t>(start_size_) : 0;
  std::string text;
  text.reserve(bytes.size() - from);
  for (std::size_t i = from; i < bytes.size(); ++i)
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
  return text::ToUtf8(text);
}

}  // namespace sd::host
