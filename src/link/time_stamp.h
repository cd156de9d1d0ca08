#pragma once
// The one time stamp text of the system: local date and time in the user's locale.

#include <chrono>
#include <functional>
#include <string>

namespace ardel {

using TClock = std::function<std::chrono::system_clock::time_point()>;

// The real clock.
TClock SystemClock();

// Short date, one blank, long time of the user's locale, in UTF-8 whatever the
// locale's encoding; "dd.mm.yyyy hh:mm:ss" in the C/POSIX locale, which has no real
// format of its own.
std::string TimeStampText(std::chrono::system_clock::time_point when);

// The time stamp text with ".mmm" after its seconds (after its last digit, so a locale
// that puts "PM" after the time keeps it there).
std::string WithMilliseconds(std::string stamp, int milliseconds);

}  // namespace ardel
