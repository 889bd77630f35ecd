// File services of the platform: exists, append, size, move replacing the target. Each goes through a
// table of functions that a test may replace to make a call fail on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/call_table.h"

namespace sd::platform {

// Failures are input/output codes in the Windows numbering (2 file not found, 3 path not found,
// 4 too many open files, 5 access denied, 29 write fault, 30 read fault, 112 disk full); 0 is success.
// The calls, one row each: XX(result, name, the system function's name, (parameters)).
#define SD_FILE_CALLS(XX)                                                                                      \
  XX(bool, exists, Exists, (const std::string& native_path))                                                   \
  /* Opens for appending (creating the file when missing), writes all bytes, closes; tells the size the        \
     file had when it was closed, so that a writer need not open it once more to measure it. Bytes are         \
     added all or none: what a failing write left at the end is cut off again. */                              \
  XX(int, append, Append, (const std::string& native_path, std::string_view bytes, std::int64_t* size_after))  \
  /* The size of an existing file. */                                                                          \
  XX(int, size, Size, (const std::string& native_path, std::int64_t* size))                                    \
  /* Moves a file, replacing the target; false when it did not happen. */                                      \
  XX(bool, move_replacing, MoveReplacing, (const std::string& from, const std::string& to))                    \
  /* Reads the whole file; 2 when it does not exist. */                                                        \
  XX(int, read_all, ReadAll, (const std::string& native_path, std::string* contents))                          \
  /* Replaces the whole file's contents at once (written aside, then moved over it), so that a reader          \
     finds the old contents or all the new ones. A symbolic link is written through to the file it             \
     names; that file keeps its mode and, where the system lets the process give it, its owner. A file         \
     that is read-only or that this process may not write is left alone: 5 (access denied). */                 \
  XX(int, replace_all, ReplaceAll, (const std::string& native_path, std::string_view contents))

struct FileOps {
  SD_FILE_CALLS(SD_CALL_FIELD)
};

// The operations in force (Files()), the system's own ones (SystemFiles()), and SetFiles(), which
// installs another table (nullptr brings back the system's) and returns the one it replaced.
SD_CALL_TABLE_FUNCTIONS(FileOps, Files)

}  // namespace sd::platform
