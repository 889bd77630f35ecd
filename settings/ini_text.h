// The INI format as the Windows private-profile functions read it, as pure functions on the file's text:
// finding a key's value, and setting one key while every other byte of the file stays as it was.
//
// Section and key names match with letter case ignored; a value is trimmed of surrounding blanks and of
// one pair of matching surrounding quotes. Lines starting with ";" are comments. The first section and
// the first key of a name win when a name repeats.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sd::settings::ini {

// The value of `key` in `section`, or nothing when the section or the key is missing.
std::optional<std::string> FindValue(std::string_view text, std::string_view section, std::string_view key);

// The file's text with `key` of `section` set to `value`. An existing key keeps its line and everything
// before its value; a missing key is added after the last non-blank line of its section; a missing
// section is appended. New lines end as the file's first line does (CR LF for a file that has none).
// The value must not hold a line break.
std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace sd::settings::ini
