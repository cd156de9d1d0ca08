#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/directory_lock.h"
#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel {

namespace {

pid_t ReadPid(int fd) {
  char buffer[32] = {};
  const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
  if (n <= 0) return 0;
  long value = 0;
  for (ssize_t i = 0; i < n && buffer[i] >= '0' && buffer[i] <= '9'; ++i) value = value * 10 + (buffer[i] - '0');
  return static_cast<pid_t>(value);
}

}  // namespace

TDirectoryLock::~TDirectoryLock() {
  // The file stays: removing it would let a later start lock a file that a third start
  // has already replaced.
  if (fd_ >= 0) ::close(fd_);
}

bool TDirectoryLock::Acquire(const std::string& directory) {
  directory_ = directory;
  holder_ = 0;
  strange_ = "";
  const std::string path = directory + kFileName;
  // Something else than a file under the lock's name (a link, a FIFO, a folder) is
  // someone else's: locking around it would let two programs share the folder.
  auto refuse = [&](const char* what) {
    strange_ = what;
    return false;
  };
  struct stat named {};
  if (::lstat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
    return refuse(S_ISLNK(named.st_mode)    ? "a symbolic link"
                  : S_ISFIFO(named.st_mode) ? "a FIFO"
                  : S_ISDIR(named.st_mode)  ? "a directory"
                                            : "not a regular file");
  }
  bool writable = true;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0 && (errno == EACCES || errno == EROFS)) {
    // An flock needs no write access: a read-only directory is still locked through a
    // lock file that is there, else through the directory itself.
    writable = false;
    fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  // Put there between the look and the open.
  if (fd < 0 && (errno == ELOOP || errno == EISDIR || errno == ENXIO)) return refuse("not a regular file");
  if (fd < 0) {
    throw EFileError("cannot lock " + LocaleToUtf8(directory) + ": " + SystemErrorText(errno));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || (S_ISDIR(st.st_mode) && !writable))) {
    ::close(fd);
    return refuse("not a regular file");
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (S_ISREG(st.st_mode)) holder_ = ReadPid(fd);
    ::close(fd);
    if (error == EWOULDBLOCK) return false;
    throw EFileError("cannot lock " + LocaleToUtf8(directory) + ": " + SystemErrorText(error));
  }
  if (writable) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
      [[maybe_unused]] const ssize_t n = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
  }
  fd_ = fd;
  return true;
}

}  // namespace ardel
