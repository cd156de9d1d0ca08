#include "ui/window_process.h"

#include <windows.h>

#include <cstdlib>

#include "util/win32_text.h"

namespace ardel::ui {

namespace {

std::string WithForwardSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

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

std::string WindowWorkingDirectory() {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(size, L'\0');
  const DWORD n = ::GetCurrentDirectoryW(size, buffer.data());
  return WithForwardSlashes(WideToUtf8Text(std::wstring_view(buffer.data(), n)));
}

std::string WindowHomeDirectory() {
  const wchar_t* profile = ::_wgetenv(L"USERPROFILE");
  return profile != nullptr ? WithForwardSlashes(WideToUtf8Text(profile)) : std::string();
}

std::string DefaultProgramDirectory(const std::string&) { return {}; }

bool SystemHasDisplay() { return true; }

}  // namespace ardel::ui
