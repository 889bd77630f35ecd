// Comparison and conversion of single-byte Windows-1251 texts as the host's runtime does them: letter
// case ignored for Latin and Cyrillic letters alike, the menu accelerator marker dropped, and whole
// numbers read and written by the runtime's rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sd::settings {

// The lower-case form of one Windows-1251 byte (Latin, Russian and the other Cyrillic letters).
char LowerAnsi(char c);

// Whether two Windows-1251 texts are equal with letter case ignored.
bool SameText(std::string_view a, std::string_view b);

// A menu caption without its accelerator markers: each "&" goes, and "&&" leaves one "&".
std::string StripHotkey(std::string_view caption);

// Whether two menu captions name the same item: markers dropped, letter case ignored.
bool SameCaption(std::string_view a, std::string_view b);

// A whole number read by the runtime's rules: leading blanks, an optional sign, then decimal digits
// or hexadecimal digits after "$", "x" or "0x"; nothing may follow. Decimal must fit a signed 32-bit
// integer; hexadecimal may use all 32 bits ("$FFFFFFFF" is -1). Empty or malformed text has no value.
std::optional<std::int32_t> TryStrToInt(std::string_view text);

// As TryStrToInt, with `fallback` for a text that is not a whole number.
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

// Signed decimal, as the runtime writes a whole number.
std::string IntToStr(std::int32_t value);

}  // namespace sd::settings
