#pragma once
// Texts for people are UTF-8 inside the program: the link log's lines, the information
// and message fields, error texts. Bytes of the link and the data files are Latin-1;
// what the system gives (the locale's date and time, its error messages, file paths)
// is in the locale's encoding. These convert both into UTF-8 where they meet.

#include <string>
#include <string_view>

namespace ardel {

// One byte, one character.
std::string Latin1ToUtf8(std::string_view bytes);
// In the encoding of the current LC_CTYPE; a byte that is no character there becomes
// U+FFFD. The C/POSIX locale, which knows only ASCII, passes UTF-8 as it is.
std::string LocaleToUtf8(std::string_view text);
// Wide characters as the C library makes them (UCS-4 on Linux, UTF-16 on Windows).
std::string WideToUtf8(std::wstring_view text);
// For the terminal: UTF-8 in the encoding of the current LC_CTYPE; a character that
// it cannot hold becomes "?". The C/POSIX locale gets UTF-8 as it is.
std::string Utf8ToLocale(std::string_view text);
// strerror's text, in UTF-8.
std::string SystemErrorText(int error);

// The UTF-8 bytes of one character; one beyond Unicode or a surrogate becomes U+FFFD.
void AppendUtf8(std::string& out, char32_t c);
bool IsAscii(std::string_view text);
bool IsUtf8(std::string_view text);

}  // namespace ardel
