#include "ui/window_process.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "app/program_files.h"
#include "util/file_io.h"

namespace ardel::ui {

void PrepareWindowProcess() { std::signal(SIGXFSZ, SIG_IGN); }

std::vector<std::string> WindowArguments(int argc, char* argv[]) { return {argv + 1, argv + argc}; }

std::string DefaultProgramDirectory(const std::string& programDirectory) {
  // Installed by the package: the files go where the desktop entry puts them.
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  return UserDataDirectoryFor(programDirectory, HomeDirectory(), dataHome != nullptr ? dataHome : "");
}

bool SystemHasDisplay() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace ardel::ui
