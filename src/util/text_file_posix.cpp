#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw EFileError(what + " " + LocaleToUtf8(path) + ": " + SystemErrorText(error));
}

[[noreturn]] void FailNotRegular(const std::string& what, const std::string& path, mode_t mode) {
  const char* kind = S_ISDIR(mode)    ? "a directory"
                     : S_ISFIFO(mode) ? "a FIFO"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISSOCK(mode) ? "a socket"
                                      : "not a regular file";
  throw EFileError(what + " " + LocaleToUtf8(path) + ": it is " + kind + ", not a regular file");
}

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that a save replaces: the path itself, or the file its links lead to, which
// need not exist yet.
std::string SaveTarget(const std::string& path) {
  std::string target = path;
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    if (hops == 40) Fail("cannot write", path, ELOOP);
    std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size());
    if (n < 0) Fail("cannot write", path, errno);
    std::string link(buffer.data(), static_cast<std::size_t>(n));
    target = (!link.empty() && link.front() == '/') ? link : DirectoryOf(target) + "/" + link;
  }
}

// 0, or the errno of the failed write.
int WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

// "<name>.<pid>.<count>.new": the temporary file of a save by process pid.
bool IsTemporaryOf(const std::string& entry, const std::string& name, pid_t& pid) {
  if (entry.size() <= name.size() + 5 || entry.compare(0, name.size() + 1, name + ".") != 0 ||
      entry.compare(entry.size() - 4, 4, ".new") != 0) {
    return false;
  }
  const std::string middle = entry.substr(name.size() + 1, entry.size() - name.size() - 5);
  const auto dot = middle.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == middle.size()) return false;
  long value = 0;
  for (std::size_t i = 0; i < middle.size(); ++i) {
    if (i == dot) continue;
    if (middle[i] < '0' || middle[i] > '9') return false;
    if (i < dot && value < 100000000) value = value * 10 + (middle[i] - '0');
  }
  pid = static_cast<pid_t>(value);
  return true;
}

// A save that was killed leaves its temporary file behind; the next save removes those
// of processes that are gone. Only the entry itself goes, never what a link names.
void RemoveStaleTemporaries(const std::string& directory, const std::string& name) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    pid_t pid = 0;
    if (!IsTemporaryOf(entry->d_name, name, pid) || pid == ::getpid()) continue;
    if (pid > 0 && (::kill(pid, 0) == 0 || errno != ESRCH)) continue;
    ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

// For a folder that the user may not write into, but whose file the user may write:
// not atomic, but flushed to disk before it counts as saved.
void WriteInPlace(const std::string& path, const std::string& target, std::string_view bytes) {
  TFd fd(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) Fail("cannot write", path, errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) Fail("cannot write", path, errno);
  if (!S_ISREG(st.st_mode)) FailNotRegular("cannot write", path, st.st_mode);
  if (const int error = WriteAll(fd.Get(), bytes); error != 0) Fail("cannot write", path, error);
  if (::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) != 0) Fail("cannot write", path, errno);
  if (::fsync(fd.Get()) != 0) Fail("cannot write", path, errno);
  if (::close(fd.Release()) != 0) Fail("cannot write", path, errno);
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) Fail("cannot open", path, errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) Fail("cannot read", path, errno);
  if (!S_ISREG(st.st_mode)) FailNotRegular("cannot read", path, st.st_mode);
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<std::size_t>(std::min<off_t>(st.st_size, static_cast<off_t>(maxBytes))));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("cannot read", path, errno);
    }
    if (n == 0) break;
    if (data.size() + static_cast<std::size_t>(n) > maxBytes) Fail("cannot read", path, EFBIG);
    data.append(buffer, static_cast<std::size_t>(n));
  }
  return data;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  // A link stays a link: its target is replaced, beside the target.
  const std::string target = SaveTarget(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists) {
    if (!S_ISREG(old.st_mode)) FailNotRegular("cannot write", path, old.st_mode);
    // A file without write permission is the user's "keep this". Root could write it
    // anyway, and the rename would not even ask, so the bits are looked at as well.
    if (::access(target.c_str(), W_OK) != 0) Fail("cannot write", path, errno);
    if ((old.st_mode & 0222) == 0) Fail("cannot write", path, EACCES);
  }

  // A name of its own per process and save, made here and nowhere else: O_EXCL with
  // O_NOFOLLOW never opens what another has put there, a link least of all.
  static unsigned long saves = 0;
  std::string temp;
  int created = -1;
  for (int attempt = 0; attempt < 100 && created < 0; ++attempt) {
    temp = DirectoryOf(target) + "/" + NameOf(target) + "." + std::to_string(::getpid()) + "." +
           std::to_string(++saves) + ".new";
    created = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (created < 0 && errno != EEXIST) break;
  }
  if (created < 0) {
    const int error = errno;
    if (exists && (error == EACCES || error == EPERM)) return WriteInPlace(path, target, bytes);
    Fail("cannot write", path, error);
  }
  TFd fd(created);
  if (exists) {
    // The new file is the old one's in all the user sees: mode bits, and owner where
    // the process may give it.
    ::fchmod(fd.Get(), old.st_mode & 07777);
    if (::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
      [[maybe_unused]] const int kept = ::fchown(fd.Get(), static_cast<uid_t>(-1), old.st_gid);
    }
  }
  auto failAndRemove = [&](int error) {
    if (fd.Get() >= 0) ::close(fd.Release());
    ::unlink(temp.c_str());
    Fail("cannot write", path, error);
  };
  if (const int error = WriteAll(fd.Get(), bytes); error != 0) failAndRemove(error);
  if (::fsync(fd.Get()) != 0) failAndRemove(errno);
  if (::close(fd.Release()) != 0) failAndRemove(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) failAndRemove(errno);
  // Make the rename itself durable.
  TFd dir(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
  RemoveStaleTemporaries(DirectoryOf(target), NameOf(target));
}

bool NameIsFree(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool TargetIsFree(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace ardel
