#pragma once
// Where the program meets Win32: file names and texts are UTF-8 inside the program and
// UTF-16 at every W call. Only the *_win32.cpp files include this.

#include <string>
#include <string_view>

namespace ardel {

// UTF-8 to UTF-16; a byte that is no UTF-8 becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
// A UTF-8 path as Win32 takes it: "/" becomes "\".
std::wstring PathToWide(std::string_view path);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string WideToUtf8Text(std::wstring_view text);
// The system's text for a Win32 error code (GetLastError), in UTF-8, without the line
// end that FormatMessage puts after it.
std::string Win32ErrorText(unsigned long error);
// The errno value that the C library gives for a Win32 error code, so that code written
// for both systems can tell "exists" or "no space" apart.
int ErrnoOfWin32Error(unsigned long error);

}  // namespace ardel
