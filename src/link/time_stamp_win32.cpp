#include <windows.h>

#include "link/time_stamp.h"
#include "util/file_io.h"
#include "util/win32_text.h"

namespace ardel {

// The user's short date and long time formats, as the regional settings give them.
std::string TimeStampText(std::chrono::system_clock::time_point when) {
  const std::tm local = LocalTime(std::chrono::system_clock::to_time_t(when));
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(local.tm_year + 1900);
  time.wMonth = static_cast<WORD>(local.tm_mon + 1);
  time.wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time.wDay = static_cast<WORD>(local.tm_mday);
  time.wHour = static_cast<WORD>(local.tm_hour);
  time.wMinute = static_cast<WORD>(local.tm_min);
  time.wSecond = static_cast<WORD>(local.tm_sec);
  wchar_t date[128];
  wchar_t clock[128];
  const int dateLength = ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 128, nullptr);
  const int clockLength = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, clock, 128);
  // The lengths count the closing zero.
  if (dateLength <= 1 || clockLength <= 1) {
    char plain[32];
    std::strftime(plain, sizeof plain, "%d.%m.%Y %H:%M:%S", &local);
    return plain;
  }
  return WideToUtf8Text(std::wstring_view(date, static_cast<std::size_t>(dateLength - 1))) + " " +
         WideToUtf8Text(std::wstring_view(clock, static_cast<std::size_t>(clockLength - 1)));
}

}  // namespace ardel
