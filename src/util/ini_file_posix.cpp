#include <unistd.h>

#include "util/ini_file.h"

namespace ardel {

std::string ProgramFileName() {
  std::string buffer(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0) return {};
  buffer.resize(static_cast<std::size_t>(length));
  // A program file replaced while it runs still names its old place.
  constexpr std::string_view kDeleted = " (deleted)";
  if (buffer.size() > kDeleted.size() &&
      std::string_view(buffer).substr(buffer.size() - kDeleted.size()) == kDeleted) {
    buffer.resize(buffer.size() - kDeleted.size());
  }
  return buffer;
}

}  // namespace ardel
