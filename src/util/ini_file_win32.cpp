#include <windows.h>

#include "util/ini_file.h"
#include "util/win32_text.h"

namespace ardel {

// With "/" between the folders, as every name inside the program has them.
std::string ProgramFileName() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  std::string name = WideToUtf8Text(buffer);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

}  // namespace ardel
