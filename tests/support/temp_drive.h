// A temporary directory standing for drive C for the test's life, with helpers to lay out and read the
// driver's files. In a copy of the test program that RunInChild started, it is the drive of the test
// that started the copy.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/child_process.h"

namespace sd::testing {

class TempDrive {
 public:
  TempDrive() {
    if (InChild()) {
      root_ = platform::DriveCRoot();
      adopted_ = true;
    } else {
      std::random_device random;
      do {
        root_ = std::filesystem::temp_directory_path() / ("sd-drive-" + std::to_string(random()));
      } while (!std::filesystem::create_directory(root_));
    }
    previous_ = platform::SetDriveCRoot(root_.string());
  }
  ~TempDrive() {
    platform::SetDriveCRoot(previous_);
    std::error_code ignored;
    if (adopted_) return;
    // Windows removes no read-only file, and a test may have left one.
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  TempDrive(const TempDrive&) = delete;
  TempDrive& operator=(const TempDrive&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // Makes this directory drive C again, after another drive took its place.
  void Use() const { platform::SetDriveCRoot(root_.string()); }

  std::filesystem::path Zemo() const { return root_ / "ZEMO"; }
  std::filesystem::path LogDir() const { return Zemo() / "LogFiles"; }
  // The name in UTF-8 whatever the system's own encoding of file names is.
  std::filesystem::path LogFile() const { return LogDir() / std::filesystem::path(u8"Орвелина.log"); }
  std::filesystem::path SettingsFile() const { return Zemo() / "Kestmark.INI"; }

  void MakeZemo() const { std::filesystem::create_directories(Zemo()); }
  void MakeLogDir() const { std::filesystem::create_directories(LogDir()); }
  void WriteSettings(const std::string& bytes) const {
    MakeZemo();
    std::ofstream(SettingsFile(), std::ios::binary) << bytes;
  }
  std::string ReadSettings() const { return Read(SettingsFile()); }

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
  std::string previous_;
  bool adopted_ = false;
};

}  // namespace sd::testing
