// A temporary directory standing for drive C, with helpers to lay out and read the driver's files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace sd::testing {

class TempDrive {
 public:
  TempDrive() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sd-drive-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) std::abort();
    root_ = buf.data();
  }
  ~TempDrive() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempDrive(const TempDrive&) = delete;
  TempDrive& operator=(const TempDrive&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // Makes this directory drive C for the platform layer of this process.
  void Use() const { ::setenv("SMARTDRIVER_DRIVE_C", root_.c_str(), 1); }

  std::filesystem::path LogDir() const { return root_ / "ZEMO" / "LogFiles"; }
  std::filesystem::path LogFile() const { return LogDir() / "Орвелина.log"; }
  std::filesystem::path SettingsFile() const { return root_ / "ZEMO" / "Kestmark.INI"; }

  void MakeLogDir() const { std::filesystem::create_directories(LogDir()); }
  void WriteSettings(const std::string& text) const {
    std::filesystem::create_directories(root_ / "ZEMO");
    std::ofstream(SettingsFile(), std::ios::binary) << text;
  }

  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  std::string Log() const { return Read(LogFile()); }

  // The texts of the log's lines: what follows " - " on each CR LF line (an entry with its own line
  // break spans two of these).
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    const std::string log = Log();
    std::size_t start = 0;
    while (start < log.size()) {
      std::size_t end = log.find("\r\n", start);
      if (end == std::string::npos) end = log.size();
      std::string line = log.substr(start, end - start);
      const std::size_t dash = line.find(" - ");
      texts.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
      start = end + 2;
    }
    return texts;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace sd::testing
