// The process's threads, open descriptors and resident memory on POSIX, from /proc/self.
#include "support/process_stats.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace sd::testing {

int ThreadCount() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  return -1;
}

int HandleCount() {
  std::error_code error;
  std::filesystem::directory_iterator it("/proc/self/fd", error);
  if (error) return -1;
  int count = 0;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) ++count;
  // The listing's own descriptor is among them.
  return count - 1;
}

long long ResidentBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;  // given in kB
  return -1;
}

bool UnderWine() { return false; }

}  // namespace sd::testing
