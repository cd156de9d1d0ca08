#pragma once
// Local time is UTC from here on, so that times written as text read back the same on
// every machine.

namespace ardel {

void UseUtcAsLocalTime();

}  // namespace ardel
