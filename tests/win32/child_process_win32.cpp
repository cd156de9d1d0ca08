#include "win32/child_process.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/poll_event_loop.h"
#include "app/quit_signals.h"
#include "app/window_beacon.h"
#include "util/directory_lock.h"
#include "util/text_file.h"
#include "util/win32_text.h"

namespace ardel::testing {

namespace {

// lock DIR HOLDER: 0 when the lock was taken, 3 when refused naming HOLDER, 4 when
// refused naming another, 5 on an error.
int LockMode(const std::string& directory, const std::string& holder) {
  try {
    TDirectoryLock lock;
    if (lock.Acquire(directory)) return 0;
    return std::to_string(lock.Holder()) == holder ? 3 : 4;
  } catch (const std::exception&) {
    return 5;
  }
}

// hold DIR: takes the lock, says so in DIR/held, and waits to be killed.
int HoldMode(const std::string& directory) {
  TDirectoryLock lock;
  if (!lock.Acquire(directory)) return 3;
  WriteFileAtomically(directory + "held", "held");
  ::Sleep(INFINITE);
  return 0;
}

// quit DIR [self]: runs a loop until a quit signal, then saves its number in DIR/saved
// as a program saves its files, and ends with 0. With "self", it presses Ctrl+Break on
// its own console once it runs (8 when that fails).
int QuitMode(const std::string& directory, bool self) {
  TPollEventLoop loop;
  int got = 0;
  TQuitSignals quit(loop, [&](int signal) {
    got = signal;
    WriteFileAtomically(directory + "saved", std::to_string(signal));
    loop.Quit(0);
  });
  auto ready = loop.NewTimer(tkSingleShot, [&] {
    WriteFileAtomically(directory + "ready", "ready");
    if (self && !::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) loop.Quit(8);
  });
  ready->Start(std::chrono::milliseconds(0));
  auto limit = loop.NewTimer(tkSingleShot, [&] { loop.Quit(7); });
  limit->Start(std::chrono::seconds(20));
  return loop.Run();
}

// beacon DIR: a window's beacon on a loop, as the holder of a program directory has
// one; it says "ready" (or "deaf" when it cannot listen) in DIR/ready and counts the
// requests it was given in DIR/requests. Runs until killed, at most a minute.
int BeaconMode(const std::string& directory) {
  TPollEventLoop loop;
  int requests = 0;
  TWindowBeacon beacon(loop, [&] { WriteFileAtomically(directory + "requests", std::to_string(++requests)); });
  WriteFileAtomically(directory + "ready", beacon.Listening() ? "ready" : "deaf");
  auto limit = loop.NewTimer(tkSingleShot, [&] { loop.Quit(7); });
  limit->Start(std::chrono::seconds(60));
  return loop.Run();
}

// Before main: a child runs its mode and ends; the tests never start in it.
struct TChildModes {
  TChildModes() {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (argv == nullptr || count < 3 || std::wstring(argv[1]) != L"--child") return;
    std::vector<std::string> args;
    for (int i = 2; i < count; ++i) args.push_back(WideToUtf8Text(argv[i]));
    args.resize(3);
    int status = 9;
    if (args[0] == "lock") status = LockMode(args[1], args[2]);
    if (args[0] == "hold") status = HoldMode(args[1]);
    if (args[0] == "beacon") status = BeaconMode(args[1]);
    if (args[0] == "quit") status = QuitMode(args[1], args[2] == "self");
    ::ExitProcess(static_cast<UINT>(status));
  }
} const childModes;

}  // namespace

TChild StartChild(const std::wstring& mode, const std::wstring& arguments, DWORD flags) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" --child " + mode + L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  TChild child;
  if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &info)) {
    ::CloseHandle(info.hThread);
    child.process = info.hProcess;
    child.pid = info.dwProcessId;
  }
  return child;
}

int WaitChild(TChild& child, DWORD waitMs) {
  if (child.process == nullptr) return -1;
  int status = -1;
  if (::WaitForSingleObject(child.process, waitMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    ::GetExitCodeProcess(child.process, &code);
    status = static_cast<int>(code);
  } else {
    ::TerminateProcess(child.process, 99);
    ::WaitForSingleObject(child.process, 5000);
  }
  ::CloseHandle(child.process);
  child.process = nullptr;
  return status;
}

bool WaitForFile(const std::string& path, DWORD waitMs) {
  for (DWORD waited = 0; waited < waitMs; waited += 20) {
    if (!NameIsFree(path)) return true;
    ::Sleep(20);
  }
  return false;
}

}  // namespace ardel::testing
