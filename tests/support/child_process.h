// Child processes for the tests, all on the platform's ChildProcess: a program run to its end with its
// output collected, and a piece of a test run in a fresh copy of the test program, so that it starts
// from a fresh load of the library. Every wait is bounded; a child that outlives its limit is ended.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/library.h"
#include "platform/process.h"

namespace sd::testing {

struct ProgramResult {
  int exit_code = platform::ChildProcess::kNoExitCode;  // also when it could not start or was ended
  std::string out;
  std::string err;
};

// Runs `program` with `args` to its end, with `input` on its standard input and the environment changed
// by `env` (an empty value removes a variable); ended after `limit`.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env = {}, const std::string& input = "",
                                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  platform::ChildProcess child;
  ProgramResult result;
  if (!child.Start({program, args, env, input}, &result.err)) return result;
  result.exit_code = child.Wait(limit);
  result.out = child.Output();
  result.err = child.Errors();
  return result;
}

// The path of one of this build's programs.
inline std::string BuiltProgram(const std::string& name) {
  return std::string(SD_TEST_BIN_DIR) + "/" + name + SD_TEST_EXE_SUFFIX;
}

struct ChildOutcome {
  std::string report;  // what the body returned, or "EXCEPTION: ..." when it threw
  int exit_code = -1;  // 0 when the body returned; -1 when the child died or could not start
};

// The variables that tell a copy of the test program which piece it runs and where its report goes.
inline constexpr char kChildPieceVariable[] = "SD_TEST_CHILD_PIECE";
inline constexpr char kChildReportVariable[] = "SD_TEST_CHILD_REPORT";

// Whether this process is a copy started by RunInChild.
inline bool InChild() { return std::getenv(kChildPieceVariable) != nullptr; }

// Runs `body` in a copy of this test program that runs only the current test. Everything the test does
// before this call runs in both processes (keep it to preparing the drive and the peers); in the copy,
// the body's report goes back through a file and the copy ends with it. A test may call this more than
// once: the calls are counted, and the copy runs only the body of its own call. `env` changes the copy's
// environment as RunProgram does.
inline ChildOutcome RunInChild(const std::function<std::string()>& body,
                               std::map<std::string, std::string> env = {},
                               std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(test->test_suite_name()) + "." + test->name();
  static std::string counted_test;
  static int calls = 0;
  if (counted_test != name) counted_test = name, calls = 0;
  const std::string piece = name + "#" + std::to_string(++calls);

  if (const char* wanted = std::getenv(kChildPieceVariable)) {
    if (piece != wanted) return {};
    std::string report;
    int code = 0;
    try {
      report = body();
    } catch (const std::exception& e) {
      report = std::string("EXCEPTION: ") + e.what();
      code = 3;
    }
    std::ofstream(std::getenv(kChildReportVariable), std::ios::binary) << report;
    // exit() rather than a quick exit: the library's unload and the sanitizers' checks run here too.
    std::exit(code);
  }

  const std::filesystem::path report_file =
      std::filesystem::temp_directory_path() /
      ("sd-child-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".report");
  env[kChildPieceVariable] = piece;
  env[kChildReportVariable] = report_file.string();
  const ProgramResult run = RunProgram(platform::ExecutablePath(), {"--gtest_filter=" + name}, env, "", limit);
  ChildOutcome outcome;
  outcome.exit_code = run.exit_code;
  std::ifstream in(report_file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  outcome.report = text.str();
  in.close();
  std::error_code ignored;
  std::filesystem::remove(report_file, ignored);
  if (outcome.exit_code == -1) outcome.report += run.out + run.err;
  return outcome;
}

}  // namespace sd::testing
