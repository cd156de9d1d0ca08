#include <windows.h>

#include <cstring>

#include "util/text_encoding.h"
#include "util/win32_text.h"

namespace ardel {

namespace {

std::string FromCodePage(std::string_view text, UINT codePage) {
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return std::string(text);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), n);
  return WideToUtf8Text(wide);
}

}  // namespace

// Inside the program every name and text from Win32 is UTF-8 already (the W calls);
// only the C library's texts come in the ANSI code page.
std::string LocaleToUtf8(std::string_view text) {
  if (IsAscii(text) || IsUtf8(text)) return std::string(text);
  return FromCodePage(text, CP_ACP);
}

// A console takes UTF-8 when its code page is 65001, which the programs ask for at start;
// a console that keeps another code page gets that, "?" for what it cannot show. Pipes
// and files get UTF-8.
std::string Utf8ToLocale(std::string_view text) {
  const UINT codePage = ::GetConsoleOutputCP();
  if (IsAscii(text) || codePage == 0 || codePage == CP_UTF8) return std::string(text);
  const std::wstring wide = Utf8ToWide(text);
  const int size = static_cast<int>(wide.size());
  BOOL lossy = FALSE;
  const bool asks = codePage != CP_UTF7;  // the only page that refuses a default character
  const int n = ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, asks ? "?" : nullptr,
                                      asks ? &lossy : nullptr);
  if (n <= 0) return std::string(text);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), size, out.data(), n, asks ? "?" : nullptr, asks ? &lossy : nullptr);
  return out;
}

std::string SystemErrorText(int error) { return LocaleToUtf8(std::strerror(error)); }

}  // namespace ardel
