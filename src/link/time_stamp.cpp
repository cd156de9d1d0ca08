#include "link/time_stamp.h"

namespace ardel {

TClock SystemClock() {
  return [] { return std::chrono::system_clock::now(); };
}

std::string WithMilliseconds(std::string stamp, int milliseconds) {
  std::size_t at = stamp.size();
  for (std::size_t i = stamp.size(); i > 0; --i) {
    if (stamp[i - 1] >= '0' && stamp[i - 1] <= '9') {
      at = i;
      break;
    }
  }
  const int ms = ((milliseconds % 1000) + 1000) % 1000;
  const char digits[] = {'.', static_cast<char>('0' + ms / 100), static_cast<char>('0' + ms / 10 % 10),
                         static_cast<char>('0' + ms % 10)};
  stamp.insert(at, digits, sizeof digits);
  return stamp;
}

}  // namespace ardel
