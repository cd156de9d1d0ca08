#include "log/log_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/text_file.h"

namespace ardel {

void SaveLogText(const TLogStore& store, const std::vector<std::pair<std::size_t, std::size_t>>& ranges,
                 const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".ardel-save-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw EFileError("cannot write " + path + ": " + std::strerror(errno));
  auto fail = [&](int error) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw EFileError("cannot write " + path + ": " + std::strerror(error));
  };
  std::string buffer;
  auto drain = [&] {
    std::size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail(n < 0 ? errno : ENOSPC);
      done += static_cast<std::size_t>(n);
    }
    buffer.clear();
  };
  auto lines = [&](std::size_t first, std::size_t last) {
    for (std::size_t i = first; i <= last && i < store.Count(); ++i) {
      buffer += store.Peek(i).text;
      buffer.push_back('\n');
      if (buffer.size() >= (1u << 20)) drain();
    }
  };
  if (ranges.empty()) {
    if (store.Count() > 0) lines(0, store.Count() - 1);
  } else {
    for (const auto& [first, last] : ranges) lines(first, last);
  }
  drain();
  if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    ::unlink(temp.c_str());
    throw EFileError("cannot write " + path + ": " + std::strerror(errno));
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    throw EFileError("cannot write " + path + ": " + std::strerror(error));
  }
}

}  // namespace ardel
