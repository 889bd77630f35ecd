// The INI file object over the platform's whole-file read and atomic replace.
#include "settings/ini_file.h"

#include <optional>

#include "platform/files.h"
#include "platform/paths.h"
#include "settings/ansi_text.h"
#include "settings/ini_text.h"
#include "smartdriver/cp1251.h"

namespace sd::settings {
namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kInvalidParameter = 87;
constexpr int kFileTooLarge = 223;
constexpr int kInvalidData = 13;

// No settings file is anywhere near this large; a larger one is taken as no file at all, so that a
// huge or endless file can never hold up the driver's start.
constexpr std::int64_t kLargestFile = std::int64_t{1} << 20;

// A file that Windows' Notepad saved as "Unicode" (UTF-16, little-endian, with its mark). Such a file is
// worked on as UTF-8, whose structure (brackets, "=", line ends) is the same bytes as the 8-bit file's,
// and written back as UTF-16, so that no character of it is lost and no file ever holds both forms.
constexpr std::string_view kUtf16Mark = "\xFF\xFE";

void PutUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The UTF-16 file's text after its mark as UTF-8; a lone surrogate or odd last byte becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view file) {
  std::string out;
  const auto unit = [&](std::size_t at) {
    return static_cast<char32_t>(static_cast<unsigned char>(file[at]) | static_cast<unsigned char>(file[at + 1]) << 8);
  };
  std::size_t at = kUtf16Mark.size();
  for (; at + 1 < file.size(); at += 2) {
    char32_t cp = unit(at);
    if (cp >= 0xD800 && cp < 0xDC00 && at + 3 < file.size() && unit(at + 2) >= 0xDC00 && unit(at + 2) < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
      at += 2;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    PutUtf8(cp, out);
  }
  if (at < file.size()) PutUtf8(0xFFFD, out);
  return out;
}

std::string Utf8ToUtf16(std::string_view utf8) {
  std::string out(kUtf16Mark);
  const auto put = [&](char32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  };
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = text::NextCodePoint(utf8, i);
    if (cp > 0x10FFFF) cp = 0xFFFD;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

// Only a file that is UTF-16 through and through is taken as such: its mark, whole 16-bit units and no
// lone surrogate, so that it reads back to the very same bytes. Anything else with those first two bytes
// is an 8-bit file whose bytes are kept as they are, rather than rewritten with replacement characters.
bool IsUtf16(std::string_view file) {
  return file.substr(0, 2) == kUtf16Mark && file.size() % 2 == 0 && Utf8ToUtf16(Utf16ToUtf8(file)) == file;
}

}  // namespace

bool IsDamagedUtf16(std::string_view file) { return file.substr(0, 2) == kUtf16Mark && !IsUtf16(file); }

namespace {

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
  // The driver's texts are Windows-1251; a character the code page lacks reads as '?'.
  if (IsUtf16(text)) text = text::FromUtf8(Utf16ToUtf8(text));
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

  // Written either way, such a file would come out as neither form, or change again at the next save.
  if (IsDamagedUtf16(text))
    throw EIniFileException(kInvalidData, failure + " (I/O error " + std::to_string(kInvalidData) + ")");
  const bool utf16 = IsUtf16(text);
  if (utf16) text = Utf16ToUtf8(text);
  for (const auto& [key, value] : values)
    text = ini::SetValue(text, section, key, utf16 ? text::ToUtf8(value) : value);
  if (utf16) text = Utf8ToUtf16(text);
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
