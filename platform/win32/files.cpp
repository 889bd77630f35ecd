// Windows file services through the wide-character API, so that a Windows-1251 name such as the log's
// keeps its letters whatever the system's ANSI code page. Failures are the Windows error codes.
#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/win32/text_win32.h"

namespace sd::platform {
namespace {

using win32::Wide;

// The code of the failure that just happened; never 0, so that a failure is never taken for success.
int LastCode() {
  const DWORD code = ::GetLastError();
  return code == 0 ? ERROR_WRITE_FAULT : static_cast<int>(code);
}

// Other programs may read, rename or delete the file between two writes, as they may on a till.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle that is a file on a disk, never a pipe, a console or another device, which could hold a
// read or a write for ever: anything else is closed again and refused as access denied.
HANDLE OnlyDiskFile(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE || ::GetFileType(file) == FILE_TYPE_DISK) return file;
  ::CloseHandle(file);
  ::SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

// A path that names a folder or a device is refused before it is opened.
bool NotAFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

HANDLE OpenForReading(const std::string& path) {
  if (NotAFile(path)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return OnlyDiskFile(::CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool Exists(const std::string& path) { return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

int WriteAll(HANDLE file, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return LastCode();
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return 0;
}

int Append(const std::string& path, std::string_view bytes, std::int64_t* size_after) {
  if (NotAFile(path)) return ERROR_ACCESS_DENIED;
  const HANDLE file = OnlyDiskFile(::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, kShareAll, nullptr,
                                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file == INVALID_HANDLE_VALUE) return LastCode();
  int code = WriteAll(file, bytes);
  LARGE_INTEGER size{};
  if (code == 0 && !::GetFileSizeEx(file, &size)) code = LastCode();
  if (code == 0 && size_after != nullptr) *size_after = size.QuadPart;
  if (!::CloseHandle(file) && code == 0) code = LastCode();
  return code;
}

int Size(const std::string& path, std::int64_t* size) {
  const HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) return LastCode();
  LARGE_INTEGER length{};
  const int code = ::GetFileSizeEx(file, &length) ? 0 : LastCode();
  ::CloseHandle(file);
  if (code == 0) *size = length.QuadPart;
  return code;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

int ReadAll(const std::string& path, std::string* contents) {
  const HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    const int code = LastCode();
    // A missing folder means a missing file to the reader, as it does on every other system.
    return code == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : code;
  }
  std::string out;
  char buffer[8192];
  int code = 0;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      code = LastCode();
      break;
    }
    if (got == 0) break;
    out.append(buffer, got);
  }
  ::CloseHandle(file);
  if (code == 0) *contents = std::move(out);
  return code;
}

// The existing file's contents replaced where it stands: a reader in the meantime may find them part
// written, so this is only for a folder where the file cannot be replaced from beside it.
int WriteInPlace(const std::string& path, std::string_view contents) {
  const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastCode();
  int code = WriteAll(file, contents);
  if (code == 0 && !::FlushFileBuffers(file)) code = LastCode();
  if (!::CloseHandle(file) && code == 0) code = LastCode();
  return code;
}

int ReplaceAll(const std::string& path, std::string_view contents) {
  // Windows refuses to replace a read-only file; asked first, so that Wine, whose rename ignores the
  // attribute, refuses it the same way.
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_ACCESS_DENIED;
  if (NotAFile(path)) return ERROR_ACCESS_DENIED;
  static std::atomic<unsigned> serial{0};
  const std::string aside = path + ".tmp" + std::to_string(::GetCurrentProcessId()) + "." +
                            std::to_string(serial.fetch_add(1));
  const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
  const HANDLE file = ::CreateFileW(Wide(aside).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  // A folder that lets no file be made beside the existing one (C:\ZEMO for a till's user, often) still
  // lets that file be written.
  if (file == INVALID_HANDLE_VALUE) return existed ? WriteInPlace(path, contents) : LastCode();
  int code = WriteAll(file, contents);
  if (code == 0 && !::FlushFileBuffers(file)) code = LastCode();
  if (!::CloseHandle(file) && code == 0) code = LastCode();
  bool moved = false;
  if (code == 0) moved = ::MoveFileExW(Wide(aside).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  if (code == 0 && !moved) code = existed ? WriteInPlace(path, contents) : LastCode();
  if (!moved) ::DeleteFileW(Wide(aside).c_str());
  return code;
}

}  // namespace

SD_DEFINE_CALL_TABLE(FileOps, SD_FILE_CALLS)

}  // namespace sd::platform
