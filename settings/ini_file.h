// One INI file read and written key by key, as the host runtime's INI-file object does it: every read
// takes the file as it is on disk, every write replaces the file as a whole in one step.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "smartdriver/errors.h"

namespace sd::settings {

// A key could not be written; the message names the file ("Unable to write to C:\ZEMO\Kestmark.INI").
// It is the runtime's input/output error, with the code the system gave (87 for a value that no line can
// hold).
class SD_VISIBLE EIniFileException : public EInOutError {
 public:
  EIniFileException(int code, std::string message) : EInOutError(code, std::move(message)) {}
};

// True for a file that begins with UTF-16's mark but is not UTF-16 through and through (an odd byte, a
// lone surrogate). It reads as 8-bit text, and a save refuses it with I/O error 13 rather than write it.
bool IsDamagedUtf16(std::string_view file);

class IniFile {
 public:
  // `windows_path` is the file's Windows path in Windows-1251; the platform maps it to a native one.
  explicit IniFile(std::string windows_path);

  const std::string& FileName() const { return windows_path_; }

  // A missing or unreadable file, section or key reads as `fallback`.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const;
  // A value that is not a whole number (see TryStrToInt) also reads as `fallback`.
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t fallback) const;
  // Read as a whole number; any non-zero number is true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // Each write raises EIniFileException when the file cannot be written, and then leaves it unchanged.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Writes several keys of one section in one replacement of the file: all of them, or none.
  void WriteStrings(std::string_view section,
                    const std::vector<std::pair<std::string_view, std::string>>& values);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

 private:
  std::string windows_path_;
  std::string native_path_;
};

}  // namespace sd::settings
