// Every kept input of every fuzz target, run through the target in the ordinary tests: the seed corpus
// and each input that once made a target fail (fuzz/regressions/<target>/).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/targets.h"

namespace sd::fuzz {
namespace {

struct Target {
  const char* name;
  void (*run)(Input);
};

constexpr Target kTargets[] = {
#define SD_FUZZ_ENTRY(name, function) {#name, function},
    SD_FUZZ_TARGETS(SD_FUZZ_ENTRY)
#undef SD_FUZZ_ENTRY
};

std::vector<std::filesystem::path> KeptInputs(const char* target) {
  std::vector<std::filesystem::path> files;
  for (const char* kind : {"corpus", "regressions"}) {
    const std::filesystem::path dir = std::filesystem::path(SD_FUZZ_DIR) / kind / target;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }

class KeptInputsTest : public testing::TestWithParam<Target> {};

TEST_P(KeptInputsTest, PassTheirTarget) {
  const auto files = KeptInputs(GetParam().name);
  EXPECT_FALSE(files.empty()) << "no seed corpus for " << GetParam().name;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    try {
      GetParam().run(bytes);
    } catch (const Violation& v) {
      ADD_FAILURE() << file << ": " << v.what;
    } catch (const std::exception& e) {
      ADD_FAILURE() << file << ": escaped " << e.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, KeptInputsTest, testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sd::fuzz
