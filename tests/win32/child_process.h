#pragma once
// The test program started once more as a second process, which runs one of the modes
// of child_process.cpp instead of the tests: what two programs do to each other is
// tested with two real processes.

#include <windows.h>

#include <string>

namespace ardel::testing {

struct TChild {
  HANDLE process = nullptr;
  DWORD pid = 0;
};

// Starts this program with "--child <mode> <arguments>"; flags as CreateProcessW takes them.
TChild StartChild(const std::wstring& mode, const std::wstring& arguments, DWORD flags = 0);
// The child's exit status; -1 when it did not end within the wait (it is then killed).
int WaitChild(TChild& child, DWORD waitMs = 30000);
// Waits up to waitMs for the file to exist.
bool WaitForFile(const std::string& path, DWORD waitMs = 30000);

}  // namespace ardel::testing
