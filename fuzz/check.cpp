// The one way a target reports a violated property.
#include "fuzz/targets.h"

namespace sd::fuzz {

void Check(bool holds, const std::string& what) {
  if (!holds) throw Violation{what};
}

std::string Printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

}  // namespace sd::fuzz
