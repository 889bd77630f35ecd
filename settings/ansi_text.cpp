// Windows-1251 letter case, menu captions and whole-number texts by the host runtime's rules.
#include "settings/ansi_text.h"

namespace sd::settings {

char LowerAnsi(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'A' && b <= 'Z') return static_cast<char>(b + 0x20);
  if (b >= 0xC0 && b <= 0xDF) return static_cast<char>(b + 0x20);  // А..Я
  switch (b) {
    case 0x80: return static_cast<char>(0x90);  // Ђ
    case 0x81: return static_cast<char>(0x83);  // Ѓ
    case 0x8A: return static_cast<char>(0x9A);  // Љ
    case 0x8C: return static_cast<char>(0x9C);  // Њ
    case 0x8D: return static_cast<char>(0x9D);  // Ќ
    case 0x8E: return static_cast<char>(0x9E);  // Ћ
    case 0x8F: return static_cast<char>(0x9F);  // Џ
    case 0xA1: return static_cast<char>(0xA2);  // Ў
    case 0xA3: return static_cast<char>(0xBC);  // Ј
    case 0xA5: return static_cast<char>(0xB4);  // Ґ
    case 0xA8: return static_cast<char>(0xB8);  // Ё
    case 0xAA: return static_cast<char>(0xBA);  // Є
    case 0xAF: return static_cast<char>(0xBF);  // Ї
    case 0xB2: return static_cast<char>(0xB3);  // І
    case 0xBD: return static_cast<char>(0xBE);  // Ѕ
    default: return c;
  }
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAnsi(a[i]) != LowerAnsi(b[i])) return false;
  return true;
}

std::string StripHotkey(std::string_view caption) {
  std::string out;
  out.reserve(caption.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      out += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      out += '&';
      ++i;
    }
  }
  return out;
}

bool SameCaption(std::string_view a, std::string_view b) { return SameText(StripHotkey(a), StripHotkey(b)); }

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;

  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int d = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (d < 0) return std::nullopt;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(d);
    if (magnitude > 0xFFFFFFFFull) return std::nullopt;
  }
  if (hex) {
    // Hexadecimal spells the 32 bits themselves; the sign then negates that value.
    const auto bits = static_cast<std::uint32_t>(magnitude);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
  }
  if (negative) {
    if (magnitude > 0x80000000ull) return std::nullopt;
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(magnitude));
  }
  if (magnitude > 0x7FFFFFFFull) return std::nullopt;
  return static_cast<std::int32_t>(magnitude);
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
  return TryStrToInt(text).value_or(fallback);
}

std::string IntToStr(std::int32_t value) { return std::to_string(value); }

}  // namespace sd::settings
