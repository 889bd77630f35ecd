// Conversions between the driver's Windows-1251 text and the UTF-16 of the Windows wide-character API,
// independent of the system's ANSI code page, and the system's own texts of its error codes. Shared by
// the Windows platform files only.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "smartdriver/cp1251.h"

namespace sd::platform::win32 {

inline std::wstring Wide(std::string_view cp1251) {
  std::wstring out;
  out.reserve(cp1251.size());
  for (const char c : cp1251) {
    const auto byte = static_cast<unsigned char>(c);
    const char16_t high = byte >= 0x80 ? text::kHighHalf[byte - 0x80] : 0;
    out.push_back(byte < 0x80 ? static_cast<wchar_t>(byte) : high != 0 ? static_cast<wchar_t>(high) : L'?');
  }
  return out;
}

// Characters that Windows-1251 lacks become '?'.
inline std::string Narrow(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (const wchar_t c : wide) {
    const int byte = text::ByteOf(static_cast<char32_t>(c));
    out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
  }
  return out;
}

// The system's text for an error code, without the line break it ends with; empty when it has none.
inline std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && static_cast<unsigned char>(message.back()) <= ' ') message.pop_back();
  return message;
}

}  // namespace sd::platform::win32
