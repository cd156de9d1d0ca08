// The time stamp in the user's regional settings: the short date, one blank, the long
// time. Wine takes the settings from LC_ALL or LANG; ctest runs this test once per locale
// (CMakeLists.txt) and each run checks the row of the locale it got. The forms allow a
// day without its leading zero, as Wine's locale data has it where Windows' has "dd".

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "link/time_stamp.h"
#include "util/win32_text.h"

namespace ardel {
namespace {

TEST(Win32TimeStamp, ShortDateAndLongTimeOfTheUsersLocale) {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  ASSERT_GT(::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH), 0);
  const std::string locale = WideToUtf8Text(name);
  if (const char* expected = std::getenv("ARDEL_EXPECTED_LOCALE")) {
    ASSERT_EQ(locale, expected) << "Wine did not take the locale it was started with";
  }
  // 2026-12-09 05:09:51 local time, a morning: a 12-hour clock shows its AM, and the day
  // and month differ, so that their order shows.
  std::tm local{};
  local.tm_year = 126;
  local.tm_mon = 11;
  local.tm_mday = 9;
  local.tm_hour = 5;
  local.tm_min = 9;
  local.tm_sec = 51;
  local.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
  struct {
    const char* locale;
    const char* stamp;  // a regular expression
  } cases[] = {
      {"en-US", R"(12/0?9/2026 5:09:51 AM)"},
      {"de-DE", R"(0?9\.12\.2026 05:09:51)"},
      {"ja-JP", R"(2026/12/0?9 5:09:51)"},
  };
  for (const auto& c : cases) {
    if (locale != c.locale) continue;
    const std::string stamp = TimeStampText(when);
    EXPECT_TRUE(std::regex_match(stamp, std::regex(c.stamp))) << locale << ": " << stamp;
    return;
  }
  GTEST_SKIP() << "no expected time stamp for the locale " << locale;
}

}  // namespace
}  // namespace ardel
