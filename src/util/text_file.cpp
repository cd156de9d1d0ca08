#include "util/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ardel {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw EFileError(what + " " + path + ": " + std::strerror(error));
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

}  // namespace

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) Fail("cannot open", path, errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) Fail("cannot read", path, errno);
  if (S_ISDIR(st.st_mode)) Fail("cannot read", path, EISDIR);
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
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
  const std::string temp = path + ".new";
  TFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.Get() < 0) Fail("cannot write", path, errno);
  // Keep the old file's permissions where there is one.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::fchmod(fd.Get(), old.st_mode & 07777);
  auto failAndRemove = [&](int error) {
    ::close(fd.Release());
    ::unlink(temp.c_str());
    Fail("cannot write", path, error);
  };
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      failAndRemove(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.Get()) != 0) failAndRemove(errno);
  if (::close(fd.Release()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    Fail("cannot write", path, error);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    Fail("cannot write", path, error);
  }
  // Make the rename itself durable.
  TFd dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  std::size_t total = 0;
  for (const auto& line : lines) total += line.size() + 2;
  std::string out;
  out.reserve(total);
  for (const auto& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

}  // namespace ardel
