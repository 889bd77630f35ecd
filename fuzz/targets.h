// The fuzz targets: one function per input format that the project reads from outside, each feeding
// the bytes through the real code and checking what must hold for any input. The same functions run
// under libFuzzer (fuzzer_main.cpp) and, for every kept input, in the ordinary tests
// (regression_test.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// SD_FUZZ_TARGETS(XX) calls XX(name, function) once per target; `name` is also the folder of its seed
// corpus (fuzz/corpus/<name>) and of its kept failures (fuzz/regressions/<name>).
#define SD_FUZZ_TARGETS(XX)             \
  XX(number_text, FuzzNumberText)       \
  XX(ini_settings, FuzzIniSettings)     \
  XX(run_file, FuzzRunFile)             \
  XX(scenario, FuzzScenario)           \
  XX(reply, FuzzReply)                  \
  XX(log, FuzzLog)

namespace sd::fuzz {

using Input = std::span<const std::uint8_t>;

#define SD_FUZZ_DECLARE(name, function) void function(Input input);
SD_FUZZ_TARGETS(SD_FUZZ_DECLARE)
#undef SD_FUZZ_DECLARE

// A property that must hold for every input did not. Deliberately no std::exception, so that the
// targets' own handlers of expected failures cannot swallow it.
struct Violation {
  std::string what;
};

// Raises Violation with `what` when `holds` is false.
void Check(bool holds, const std::string& what);

// The text with every byte outside printable ASCII written as \xNN, for messages.
std::string Printable(std::string_view text);

inline std::string_view AsText(Input input) {
  return {reinterpret_cast<const char*>(input.data()), input.size()};
}

}  // namespace sd::fuzz
