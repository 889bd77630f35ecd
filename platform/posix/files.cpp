// POSIX file services, reporting failures as input/output codes in the Windows numbering.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace sd::platform {
namespace {

int IoCode(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return 3;  // path not found
    case EMFILE:
    case ENFILE:
      return 4;  // too many open files
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
    case ENXIO:  // a FIFO with no reader, or a device without its device
      return 5;  // access denied
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return 112;  // disk full
    default:
      return 29;  // write fault
  }
}

// Opens a file only when it is a regular one: never waiting on a FIFO or a device (the open does not
// block, and what it opened is checked before anything is read or written). 5 for anything else.
int OpenRegular(const std::string& path, int flags, int* fd) {
  *fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
  if (*fd < 0) return errno == ENOENT && (flags & O_CREAT) == 0 ? 2 : IoCode(errno);
  struct stat st {};
  const int code = ::fstat(*fd, &st) != 0 ? IoCode(errno) : S_ISREG(st.st_mode) ? 0 : 5;
  if (code != 0) {
    ::close(*fd);
    *fd = -1;
  }
  return code;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Writes every byte; `written` (when given) tells how many made it before a failure.
int WriteAll(int fd, std::string_view bytes, std::size_t* written = nullptr) {
  std::size_t done = 0;
  int code = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      code = IoCode(errno);
      break;
    }
    if (n == 0) {
      code = 29;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (written != nullptr) *written = done;
  return code;
}

int Append(const std::string& path, std::string_view bytes, std::int64_t* size_after) {
  int fd = -1;
  if (const int code = OpenRegular(path, O_WRONLY | O_APPEND | O_CREAT, &fd); code != 0) return code;
  std::size_t written = 0;
  int code = WriteAll(fd, bytes, &written);
  struct stat st {};
  // A disk that fills up part way through takes the part that was written back off the end, so that the
  // file never ends in a torn line for the next append to follow.
  if (code != 0 && written > 0 && ::fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(written))
    (void)!::ftruncate(fd, st.st_size - static_cast<off_t>(written));
  if (code == 0 && ::fstat(fd, &st) != 0) code = IoCode(errno);
  if (code == 0 && size_after != nullptr) *size_after = static_cast<std::int64_t>(st.st_size);
  if (::close(fd) != 0 && code == 0) code = IoCode(errno);
  return code;
}

int Size(const std::string& path, std::int64_t* size) {
  // Opened rather than looked up, so that a file that cannot be read is reported as it is on Windows.
  int fd = -1;
  if (const int code = OpenRegular(path, O_RDONLY, &fd); code != 0) return code;
  struct stat st {};
  const int rc = ::fstat(fd, &st);
  const int err = errno;
  ::close(fd);
  if (rc != 0) return IoCode(err);
  *size = static_cast<std::int64_t>(st.st_size);
  return 0;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

int ReadAll(const std::string& path, std::string* contents) {
  int fd = -1;
  if (const int code = OpenRegular(path, O_RDONLY, &fd); code != 0) return code;
  std::string out;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return err == EISDIR ? 5 : 30;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  *contents = std::move(out);
  return 0;
}

// The file a path names once its symbolic links are followed; a path of no file stays as it is, so that
// the file is created there. A link that points nowhere is followed too, to create its target.
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return path;
    target.resize(static_cast<std::size_t>(n));
    if (target.empty() || target.front() != '/') {
      const std::size_t slash = path.rfind('/');
      if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
    }
    path = std::move(target);
  }
  return path;  // a loop of links: the rename then fails as the system says
}

// The existing file's contents replaced where it stands: a reader in the meantime may find them part
// written, so this is only for a folder where the file cannot be replaced from beside it.
int WriteInPlace(const std::string& path, std::string_view contents) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return IoCode(errno);
  int code = WriteAll(fd, contents);
  if (code == 0 && ::fsync(fd) != 0) code = IoCode(errno);
  if (::close(fd) != 0 && code == 0) code = IoCode(errno);
  return code;
}

int ReplaceAll(const std::string& link_or_file, std::string_view contents) {
  static std::atomic<unsigned> serial{0};
  // A link is written through, so that the file it names gets the contents and the link stays a link.
  const std::string path = FollowLinks(link_or_file);
  struct stat old {};
  const bool existed = ::stat(path.c_str(), &old) == 0;
  if (existed) {
    if (!S_ISREG(old.st_mode)) return 5;
    // A file no one may write is read-only, as Windows's attribute makes it even for its administrator;
    // one this process may not write is refused as well, instead of being replaced from beside it.
    if ((old.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) return 5;
  }
  // Written aside in the same directory and moved over the file in one step, so a reader finds either
  // the old file or the whole new one.
  const std::string aside =
      path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(serial.fetch_add(1));
  const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  // A folder that lets no file be made beside the existing one still lets that file be written.
  if (fd < 0) return existed ? WriteInPlace(path, contents) : IoCode(errno);
  int code = 0;
  if (existed) {
    // The new file takes the old one's mode and owner. Giving a file away needs the right to; without
    // it the group is kept if it can be, and the mode in any case.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    if (::fchmod(fd, old.st_mode & 07777) != 0) code = IoCode(errno);
  }
  if (code == 0) code = WriteAll(fd, contents);
  if (code == 0 && ::fsync(fd) != 0) code = IoCode(errno);
  if (::close(fd) != 0 && code == 0) code = IoCode(errno);
  bool moved = false;
  if (code == 0) moved = ::rename(aside.c_str(), path.c_str()) == 0;
  if (!moved) ::unlink(aside.c_str());
  if (code == 0 && !moved) code = existed ? WriteInPlace(path, contents) : IoCode(errno);
  return code;
}

}  // namespace

SD_DEFINE_CALL_TABLE(FileOps, SD_FILE_CALLS)

}  // namespace sd::platform
