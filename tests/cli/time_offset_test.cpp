// The JSON lines' time: local time with milliseconds and the offset from UTC, which
// ardel-cli works out itself so that Windows, whose %z is a zone's name, writes the same.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "cli/log_output.h"

namespace ardel::cli {
namespace {

class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    const char* old = std::getenv("TZ");
    if (old != nullptr) saved_ = old, hadOne_ = true;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~LocalZone() {
    if (hadOne_) ::setenv("TZ", saved_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string saved_;
  bool hadOne_ = false;
};

TEST(JsonTime, OffsetFromUtcInEveryKindOfZone) {
  using namespace std::chrono;
  // 2026-12-09 10:00:00.045 UTC and 2026-07-01 00:30:00.999 UTC.
  const system_clock::time_point winter = system_clock::time_point(seconds(1796810400)) + milliseconds(45);
  const system_clock::time_point summer = system_clock::time_point(seconds(1782865800)) + milliseconds(999);
  struct {
    const char* zone;
    system_clock::time_point when;
    const char* expected;
  } cases[] = {
      {"UTC0", winter, "2026-12-09T10:00:00.045+0000"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", winter, "2026-12-09T11:00:00.045+0100"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", summer, "2026-07-01T02:30:00.999+0200"},
      // Half hours either way, and a date that is the day before in local time.
      {"IST-5:30", winter, "2026-12-09T15:30:00.045+0530"},
      {"NST3:30NDT,M3.2.0,M11.1.0", summer, "2026-06-30T22:00:00.999-0230"},
      {"HST10", summer, "2026-06-30T14:30:00.999-1000"},
      // A year's last day east of UTC while UTC is still in the old year.
      {"NZST-12NZDT,M9.5.0,M4.1.0/3", system_clock::time_point(seconds(1798718400)), "2027-01-01T01:00:00.000+1300"},
  };
  for (const auto& c : cases) {
    LocalZone zone(c.zone);
    EXPECT_EQ(TimeWithMilliseconds(c.when), c.expected) << c.zone;
  }
}

}  // namespace
}  // namespace ardel::cli
