#include "log/log_save.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "util/file_io.h"
#include "util/text_file.h"

namespace ardel {

void SaveLogText(const TLogStore& store, const std::vector<std::pair<std::size_t, std::size_t>>& ranges,
                 const std::string& path) {
  std::string temp;
  const int fd = CreateReplacement(path, temp);
  if (fd < 0) throw EFileError("cannot write " + path + ": " + std::strerror(errno));
  auto fail = [&](int error) {
    DropReplacement(fd, temp);
    throw EFileError("cannot write " + path + ": " + std::strerror(error));
  };
  std::string buffer;
  std::uint64_t written = 0;
  auto drain = [&] {
    std::size_t done = 0;
    while (done < buffer.size()) {
      const std::int64_t n = WriteAt(fd, buffer.data() + done, buffer.size() - done, written + done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail(n < 0 ? errno : ENOSPC);
      done += static_cast<std::size_t>(n);
    }
    written += done;
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
  if (!CommitReplacement(fd, temp, path)) throw EFileError("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace ardel
