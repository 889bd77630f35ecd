// The lines that one run of smartdriver-host added to the driver's operation log, for --log: the log's
// size is remembered before the library is loaded, and what stands after it is read once the library
// is unloaded (so that no exchange thread is still writing).
#pragma once

#include <cstdint>
#include <string>

namespace sd::host {

class LogTail {
 public:
  // Remembers the size of the log file that the driver writes on this machine.
  LogTail();
  // As above, for a log file given by its path.
  explicit LogTail(std::string path);

  const std::string& Path() const { return path_; }

  // What was appended since, in UTF-8 with plain line feeds. When the file has shrunk meanwhile (the
  // driver moved a full log aside and started a new one), the whole new file.
  std::string Appended() const;

 private:
  std::string path_;
  std::uintmax_t start_size_ = 0;
};

}  // namespace sd::host
