#include "link/time_stamp.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <ctime>

namespace ardel {

TClock SystemClock() {
  return [] { return std::chrono::system_clock::now(); };
}

namespace {

bool IsPlainCLocale() {
  const char* name = std::setlocale(LC_TIME, nullptr);
  // "C.UTF-8" and its spellings are the plain locale too, only with another charset.
  return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
         std::strncmp(name, "C.", 2) == 0;
}

}  // namespace

std::string TimeStampText(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  std::string format;
  if (IsPlainCLocale()) {
    format = "%d.%m.%Y %H:%M:%S";
  } else {
    format = nl_langinfo(D_FMT);
    format += ' ';
    format += nl_langinfo(T_FMT);
  }
  char buffer[128];
  const std::size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &local);
  return std::string(buffer, n);
}

}  // namespace ardel
