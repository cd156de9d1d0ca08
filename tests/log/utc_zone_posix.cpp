#include "log/utc_zone.h"

#include <cstdlib>
#include <ctime>

namespace ardel {

void UseUtcAsLocalTime() {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
}

}  // namespace ardel
