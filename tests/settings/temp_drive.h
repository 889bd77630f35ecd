// A drive C of the test's own: a fresh temporary directory named by SMARTDRIVER_DRIVE_C for the test's
// life, with helpers for the settings file in it.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace sd::settings::testing {

class TempDrive {
 public:
  TempDrive() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sd-settings-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    ::setenv("SMARTDRIVER_DRIVE_C", root_.c_str(), 1);
  }
  ~TempDrive() {
    ::unsetenv("SMARTDRIVER_DRIVE_C");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempDrive(const TempDrive&) = delete;
  TempDrive& operator=(const TempDrive&) = delete;

  std::filesystem::path Zemo() const { return root_ / "ZEMO"; }
  std::filesystem::path IniPath() const { return Zemo() / "Kestmark.INI"; }
  void MakeZemo() const { std::filesystem::create_directories(Zemo()); }

  void WriteIni(const std::string& bytes) const {
    MakeZemo();
    std::ofstream(IniPath(), std::ios::binary) << bytes;
  }
  std::string ReadIni() const {
    std::ifstream in(IniPath(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

 private:
  std::filesystem::path root_;
};

}  // namespace sd::settings::testing
