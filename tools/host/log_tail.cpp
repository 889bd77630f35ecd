// Reading back what the driver appended to its operation log.
#include "tools/host/log_tail.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/paths.h"
#include "smartdriver/cp1251.h"

namespace sd::host {
namespace {

using namespace sd::literals;

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

}  // namespace

LogTail::LogTail() : LogTail(platform::NativePath("C:\\ZEMO\\LogFiles\\Орвелина.log"_w)) {}

LogTail::LogTail(std::string path) : path_(std::move(path)), start_size_(SizeOf(path_)) {}

std::string LogTail::Appended() const {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t from = bytes.size() >= start_size_ ? static_cast<std::size_t>(start_size_) : 0;
  std::string text;
  text.reserve(bytes.size() - from);
  for (std::size_t i = from; i < bytes.size(); ++i)
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
  return text::ToUtf8(text);
}

}  // namespace sd::host
