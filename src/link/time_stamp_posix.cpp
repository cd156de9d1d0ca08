#include <clocale>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "link/time_stamp.h"
#include "util/text_encoding.h"

namespace ardel {

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
  // %x and %X are the locale's date and time formats; the wide form gives the
  // characters whatever the locale's encoding, and they are kept in UTF-8.
  const wchar_t* format = IsPlainCLocale() ? L"%d.%m.%Y %H:%M:%S" : L"%x %X";
  wchar_t buffer[128];
  const std::size_t n = std::wcsftime(buffer, sizeof buffer / sizeof buffer[0], format, &local);
  return WideToUtf8(std::wstring_view(buffer, n));
}

}  // namespace ardel
