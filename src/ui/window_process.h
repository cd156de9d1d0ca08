#pragma once
// What the window's program takes from the system it runs on, before and beside Qt.

#include <string>
#include <vector>

namespace ardel::ui {

// Before anything runs: a file-size limit must make a write fail rather than end the
// program (Linux).
void PrepareWindowProcess();
// The arguments after the program name, in UTF-8.
std::vector<std::string> WindowArguments(int argc, char* argv[]);
// The program directory when no --dir names one: on Linux the user's data directory
// where a package installed the program in a system folder; on Windows, as there,
// beside the program (empty).
std::string DefaultProgramDirectory(const std::string& programDirectory);
// Whether the system has a screen for a dialog, Qt's platform aside.
bool SystemHasDisplay();

}  // namespace ardel::ui
