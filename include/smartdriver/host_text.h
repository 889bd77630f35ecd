// Text arguments as a host passes them: nullptr for the empty text, otherwise a pointer to the first
// character, with the 32-bit length in the 4 bytes before it, a 32-bit reference count in the 4 bytes
// before those, and a zero byte after the last character. The driver only reads such a text.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace sd {

// Builds and owns one text argument; arg() is what goes to the entry.
class HostText {
 public:
  HostText() = default;
  explicit HostText(std::string_view cp1251) { Assign(cp1251); }

  void Assign(std::string_view cp1251) {
    if (cp1251.empty()) {
      buffer_.clear();
      return;
    }
    buffer_.assign(8 + cp1251.size() + 1, 0);
    const std::int32_t refs = -1;  // a constant text, as a host's literals are
    const auto length = static_cast<std::int32_t>(cp1251.size());
    std::memcpy(buffer_.data(), &refs, 4);
    std::memcpy(buffer_.data() + 4, &length, 4);
    std::memcpy(buffer_.data() + 8, cp1251.data(), cp1251.size());
  }

  const char* arg() const { return buffer_.empty() ? nullptr : buffer_.data() + 8; }

 private:
  std::vector<char> buffer_;
};

// The characters of a text argument; the empty view for nullptr.
inline std::string_view ReadHostText(const char* arg) {
  if (arg == nullptr) return {};
  std::int32_t length = 0;
  std::memcpy(&length, arg - 4, 4);
  return {arg, length > 0 ? static_cast<std::size_t>(length) : 0};
}

}  // namespace sd
