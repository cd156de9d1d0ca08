#pragma once
// The system's own words for a Win32 error code, in UTF-8.

#include <string>

namespace ardel {

// FormatMessage's text without its line end; the code in hexadecimal where the system
// has no text for it.
std::string Win32ErrorText(unsigned long code);

}  // namespace ardel
