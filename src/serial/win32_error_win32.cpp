#include "serial/win32_error.h"

#include <windows.h>

#include <cstdio>

namespace ardel {

std::string Win32ErrorText(unsigned long code) {
  wchar_t* wide = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&wide), 0, nullptr);
  std::string text;
  if (length > 0 && wide != nullptr) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(size));
    ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text.data(), size, nullptr, nullptr);
  }
  if (wide != nullptr) ::LocalFree(wide);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) {
    char number[32];
    std::snprintf(number, sizeof number, "error 0x%08lX", code);
    text = number;
  }
  return text;
}

}  // namespace ardel
