#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "util/file_io.h"

namespace ardel {

int OpenToRead(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

bool IsRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

void ReadSequentially(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

int CreateNewFile(const std::string& path, int mode) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, static_cast<mode_t>(mode));
}

bool MakeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsAbsolutePath(std::string_view path) { return !path.empty() && path.front() == '/'; }

std::string PathFromArgument(std::string_view argument) { return std::string(argument); }

// O_TMPFILE where the file system has it; otherwise a named file removed at once.
int OpenUnlinkedFile(const std::string& directory) {
  int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string pattern = directory + "ardel-store-XXXXXX";
  fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(pattern.c_str());
  return fd;
}

std::string WorkingDirectory() {
  std::vector<char> buffer(4096);
  return ::getcwd(buffer.data(), buffer.size()) != nullptr ? std::string(buffer.data()) : std::string("/");
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "";
}

std::string TemporaryDirectory() {
  const char* env = std::getenv("TMPDIR");
  std::string directory = env != nullptr && *env != '\0' ? env : "/tmp";
  if (directory.back() != '/') directory += '/';
  return directory;
}

std::int64_t ReadAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
  return ::pread(fd, into, size, static_cast<off_t>(offset));
}

std::int64_t WriteAt(int fd, const char* bytes, std::size_t size, std::uint64_t offset) {
  return ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
}

bool TruncateFile(int fd, std::uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }

bool CloseFile(int fd) { return ::close(fd) == 0; }

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

int CreateReplacement(const std::string& path, std::string& temp) {
  const std::size_t slash = path.rfind('/');
  temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".ardel-save-XXXXXX";
  return ::mkostemp(temp.data(), O_CLOEXEC);
}

bool CommitReplacement(int fd, const std::string& temp, const std::string& path) {
  if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) {
    const int error = errno;
    DropReplacement(fd, temp);
    errno = error;
    return false;
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    errno = error;
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    errno = error;
    return false;
  }
  return true;
}

void DropReplacement(int fd, const std::string& temp) {
  ::close(fd);
  ::unlink(temp.c_str());
}

std::tm LocalTime(std::time_t second) {
  std::tm local{};
  ::localtime_r(&second, &local);
  return local;
}

}  // namespace ardel
