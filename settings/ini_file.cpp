// The INI file object over the platform's whole-file read and atomic replace.
#include "settings/ini_file.h"

#include <optional>

#include "platform/files.h"
#include "platform/paths.h"
#include "settings/ansi_text.h"
#include "settings/ini_text.h"

namespace sd::settings {
namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kInvalidParameter = 87;
constexpr int kFileTooLarge = 223;

// No settings file is anywhere near this large; a larger one is taken as no file at all, so that a
// huge or endless file can never hold up the driver's start.
constexpr std::int64_t kLargestFile = std::int64_t{1} << 20;

int ReadWhole(const std::string& native_path, std::string* text) {
  std::int64_t size = 0;
  if (platform::Files().size(native_path, &size) == 0 && size > kLargestFile) return kFileTooLarge;
  const int code = platform::Files().read_all(native_path, text);
  // It may have grown meanwhile.
  if (code == 0 && static_cast<std::int64_t>(text->size()) > kLargestFile) return kFileTooLarge;
  return code;
}

}  // namespace

IniFile::IniFile(std::string windows_path)
    : windows_path_(std::move(windows_path)), native_path_(platform::NativePath(windows_path_)) {}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  std::string text;
  if (ReadWhole(native_path_, &text) != 0) return std::string(fallback);
  std::optional<std::string> value = ini::FindValue(text, section, key);
  return value ? std::move(*value) : std::string(fallback);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
  return StrToIntDef(ReadString(section, key, ""), fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  WriteStrings(section, {{key, std::string(value)}});
}

void IniFile::WriteStrings(std::string_view section,
                           const std::vector<std::pair<std::string_view, std::string>>& values) {
  const std::string failure = "Unable to write to " + windows_path_;
  // A line break would end the key's line and let the rest of the value pose as other keys or sections.
  for (const auto& [key, value] : values)
    if (value.find_first_of("\r\n") != std::string::npos)
      throw EIniFileException(kInvalidParameter,
                              failure + ": the value of " + std::string(key) + " holds a line break");

  std::string text;
  const int read = ReadWhole(native_path_, &text);
  // Only a file that is not there starts empty; one that exists but cannot be read is never replaced,
  // or its other sections would be lost.
  if (read != 0 && read != kFileNotFound && read != kPathNotFound)
    throw EIniFileException(read, failure + " (I/O error " + std::to_string(read) + ")");
  if (read != 0) text.clear();

  for (const auto& [key, value] : values) text = ini::SetValue(text, section, key, value);
  const int written = platform::Files().replace_all(native_path_, text);
  if (written != 0) throw EIniFileException(written, failure + " (I/O error " + std::to_string(written) + ")");
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, IntToStr(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

}  // namespace sd::settings
