#include "link/time_stamp.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <regex>

namespace ardel {
namespace {

TEST(TimeStamp, PlainLocaleGivesDayMonthYear) {
  std::setlocale(LC_ALL, "C");
  const std::string text = TimeStampText(std::chrono::system_clock::now());
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)"))) << text;
}

}  // namespace
}  // namespace ardel
