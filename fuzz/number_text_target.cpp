// Fuzz target: the conversions between host texts and numbers. Whole numbers read back what they
// write, the driver's and the settings' readers agree where both accept a text, and the general float
// format keeps 15 significant digits.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "driver/number_text.h"
#include "fuzz/targets.h"
#include "settings/ansi_text.h"
#include "smartdriver/errors.h"

namespace sd::fuzz {
namespace {

std::optional<std::int64_t> Int64Of(std::string_view text) {
  try {
    return driver::StrToInt64(text);
  } catch (const EConvertError&) {
    return std::nullopt;
  }
}

void CheckFloatText(double value) {
  const std::string text = driver::FloatText(value, '.');
  if (std::isnan(value)) return Check(text == "NAN", "FloatText of a NaN: " + text);
  if (std::isinf(value)) return Check(text == (value < 0 ? "-INF" : "INF"), "FloatText of infinity: " + text);
  // The text must read back as a number (with '.' as the separator, the C locale's) within the last of
  // its 15 significant digits. Read wider than a double: the largest doubles round up beyond its range.
  char* end = nullptr;
  const long double back = std::strtold(text.c_str(), &end);
  Check(end == text.c_str() + text.size(), "FloatText is not a number: " + text);
  const long double exact = value;
  const long double allowed = std::max(std::fabs(exact) * 1e-14L, static_cast<long double>(std::numeric_limits<double>::denorm_min()));
  Check(std::fabs(back - exact) <= allowed, "FloatText loses the value: " + text);
}

}  // namespace

void FuzzNumberText(Input input) {
  const std::string_view text = AsText(input);

  const auto wide = Int64Of(text);
  if (wide) Check(Int64Of(std::to_string(*wide)) == wide, "StrToInt64 does not read its own text back");

  const auto narrow = settings::TryStrToInt(text);
  if (narrow) {
    Check(settings::TryStrToInt(settings::IntToStr(*narrow)) == narrow, "TryStrToInt does not read IntToStr back");
    // Where both readers take a text, they mean the same bits (hexadecimal spells 32 bits in one, 64 in
    // the other).
    if (wide)
      Check(static_cast<std::uint32_t>(*wide) == static_cast<std::uint32_t>(*narrow),
            "StrToInt64 and TryStrToInt disagree");
  }

  if (input.size() >= sizeof(double)) {
    double value;
    std::memcpy(&value, input.data(), sizeof value);
    CheckFloatText(value);
  }
}

}  // namespace sd::fuzz
