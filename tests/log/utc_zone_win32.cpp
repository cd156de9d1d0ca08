#include "log/utc_zone.h"

#include <cstdlib>
#include <ctime>

namespace ardel {

// The C runtime reads TZ as a name and an offset from UTC; without the offset it keeps
// the system's zone.
void UseUtcAsLocalTime() {
  ::_putenv_s("TZ", "UTC0");
  ::_tzset();
}

}  // namespace ardel
