#include "ui/window_process.h"

#include <windows.h>

#include <cstdlib>

#include "util/win32_text.h"

namespace ardel::ui {

void PrepareWindowProcess() {}

// main's arguments come in the ANSI code page.
std::vector<std::string> WindowArguments(int argc, char* argv[]) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, argv[i], -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, argv[i], -1, wide.data(), n);
    arguments.push_back(WideToUtf8Text(std::wstring_view(wide.c_str())));
  }
  return arguments;
}

std::string DefaultProgramDirectory(const std::string&) { return {}; }

bool SystemHasDisplay() { return true; }

}  // namespace ardel::ui
