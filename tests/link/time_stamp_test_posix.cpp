// The time stamp in the C/POSIX locale, which Linux has and Windows has not: Windows
// always has the user's regional settings.

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <regex>

#include "link/time_stamp.h"

namespace ardel {
namespace {

TEST(TimeStamp, PlainLocaleGivesDayMonthYear) {
  for (const char* locale : {"C", "POSIX", "C.UTF-8"}) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    const std::string text = TimeStampText(std::chrono::system_clock::now());
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)"))) << locale << ": " << text;
  }
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace ardel
