// Windows-1251 text: the compile-time conversion of the driver's Russian literals, and the run-time
// conversions that tools and hosts use to show the driver's single-byte texts on a UTF-8 terminal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sd::text {

// Code points of the bytes 0x80..0xFF: the signs and the letters of other alphabets (0x80..0xBF) from a
// table, where 0 marks the one byte (0x98) that has no character, then the letters А..я in order (0xC0..0xFF
// are U+0410..U+044F).
inline constexpr std::array<char16_t, 128> kHighHalf = [] {
  constexpr char16_t kSigns[64] = {
      0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
      0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
      0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
      0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
      0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
      0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
      0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
      0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
  };
  std::array<char16_t, 128> table{};
  for (int i = 0; i < 64; ++i) table[i] = kSigns[i];
  for (int i = 64; i < 128; ++i) table[i] = static_cast<char16_t>(0x0410 + i - 64);
  return table;
}();

// The Windows-1251 byte of a code point, or -1 when the code page has none.
constexpr int ByteOf(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  for (int i = 0; i < 128; ++i)
    if (kHighHalf[i] != 0 && kHighHalf[i] == cp) return 0x80 + i;
  return -1;
}

// Decodes one UTF-8 sequence at s[i], advancing i; returns -1 (as char32_t max) for a malformed one.
constexpr char32_t NextCodePoint(std::string_view s, std::size_t& i) {
  constexpr char32_t kBad = 0xFFFFFFFF;
  const auto b0 = static_cast<unsigned char>(s[i++]);
  if (b0 < 0x80) return b0;
  int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
  if (extra < 0) return kBad;
  char32_t cp = b0 & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size()) return kBad;
    const auto b = static_cast<unsigned char>(s[i++]);
    if ((b & 0xC0) != 0x80) return kBad;
    cp = (cp << 6) | (b & 0x3F);
  }
  return cp;
}

// Number of Windows-1251 bytes a UTF-8 text becomes (one per code point).
constexpr std::size_t EncodedLength(std::string_view utf8) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size(); ++n) NextCodePoint(utf8, i);
  return n;
}

// A UTF-8 string literal usable as a template argument.
template <std::size_t N>
struct Utf8Literal {
  char chars[N]{};
  constexpr Utf8Literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = s[i];
  }
  constexpr std::string_view view() const { return {chars, N - 1}; }
};

template <Utf8Literal S>
struct Encoded {
  static constexpr std::size_t size = EncodedLength(S.view());
  static constexpr std::array<char, size + 1> bytes = [] {
    std::array<char, size + 1> out{};
    std::string_view in = S.view();
    std::size_t i = 0, o = 0;
    while (i < in.size()) {
      const int b = ByteOf(NextCodePoint(in, i));
      // A character outside the code page stops the build here instead of garbling a message.
      if (b < 0) throw "character has no Windows-1251 byte";
      out[o++] = static_cast<char>(b);
    }
    return out;
  }();
};

// Text that a host or the driver holds in Windows-1251 becomes UTF-8 for a terminal.
inline std::string ToUtf8(std::string_view cp1251) {
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (unsigned char c : cp1251) {
    char32_t cp = c < 0x80 ? c : kHighHalf[c - 0x80];
    if (c >= 0x80 && cp == 0) cp = 0xFFFD;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// UTF-8 typed by a user becomes Windows-1251; characters the code page lacks become '?'.
inline std::string FromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const int b = ByteOf(NextCodePoint(utf8, i));
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

}  // namespace sd::text

namespace sd::literals {

// "Драйвер загружен"_w is the Windows-1251 text of the literal, converted while compiling.
template <sd::text::Utf8Literal S>
constexpr std::string_view operator""_w() {
  using E = sd::text::Encoded<S>;
  return {E::bytes.data(), E::size};
}

}  // namespace sd::literals
