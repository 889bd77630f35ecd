// The libFuzzer entry of one target, chosen when building by SD_FUZZ_ENTRY: a violated property is
// printed and aborts, which libFuzzer records as a crash with the input that caused it.
#include <cstdio>
#include <cstdlib>

#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    sd::fuzz::SD_FUZZ_ENTRY(sd::fuzz::Input(data, size));
  } catch (const sd::fuzz::Violation& v) {
    std::fprintf(stderr, "property violated: %s\n", v.what.c_str());
    std::abort();
  }
  return 0;
}
