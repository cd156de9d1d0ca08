#pragma once
// Environment variables and the time zone for a test, on both systems: the C library of
// Windows has no setenv and reads TZ in its own format.

#include <stdlib.h>

#include <ctime>
#include <string>

namespace ardel::testing {

inline void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void UnsetEnv(const std::string& name) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), "");
#else
  ::unsetenv(name.c_str());
#endif
}

// Local time becomes UTC for the C library's time functions.
inline void UseUtcTimeZone() {
  // "UTC0" reads the same in both formats: the name, then hours west of UTC.
  SetEnv("TZ", "UTC0");
#ifdef _WIN32
  ::_tzset();
#else
  ::tzset();
#endif
}

}  // namespace ardel::testing
