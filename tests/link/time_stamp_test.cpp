#include "link/time_stamp.h"

#include "log/link_log.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <regex>

namespace ardel {
namespace {

TEST(TimeStamp, MillisecondsFollowTheSeconds) {
  struct Case {
    const char* stamp;
    int ms;
    const char* expected;
  } cases[] = {
      {"09.12.2026 05:09:51", 7, "09.12.2026 05:09:51.007"},
      {"12/09/2026 05:09:51 AM", 999, "12/09/2026 05:09:51.999 AM"},
      {"2026-12-09 14:00:00", 1000, "2026-12-09 14:00:00.000"},
      {"no digits", 42, "no digits.042"},
  };
  for (const Case& c : cases) EXPECT_EQ(WithMilliseconds(c.stamp, c.ms), c.expected) << c.stamp;
}

TEST(TimeStamp, TheLogsSwitchAddsMillisecondsToNewStampsOnly) {
  std::setlocale(LC_ALL, "C");
  auto now = std::chrono::system_clock::from_time_t(1'700'000'000) + std::chrono::milliseconds(250);
  TLinkLog log([&] { return now; });
  // Its form in the C locale is checked where the C locale has one (the Linux tests).
  const std::string plain = log.TimeStamp();
  log.Switches().milliseconds = true;
  // After the seconds, also where "PM" follows them (Windows in en-US).
  EXPECT_EQ(log.TimeStamp(), WithMilliseconds(plain, 250));
  now += std::chrono::milliseconds(5);
  EXPECT_EQ(log.TimeStamp(), WithMilliseconds(plain, 255));
  log.Switches().milliseconds = false;
  EXPECT_EQ(log.TimeStamp(), plain);
}

}  // namespace
}  // namespace ardel
