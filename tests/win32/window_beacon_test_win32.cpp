// A second start asks the window holding the program directory to come forward, through
// the holder's named pipe: tested with the holder in a process of its own.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "app/poll_event_loop.h"
#include "app/window_beacon.h"
#include "util/file_io.h"
#include "util/text_file.h"
#include "util/win32_text.h"
#include "win32/child_process.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string FreshDirectory(const std::string& what) {
  static int made = 0;
  const std::string dir = TemporaryDirectory() + "ardel-beacon-" + what + "-" +
                          std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++made) + "/";
  MakeDirectory(dir);
  return dir;
}

std::string Requests(const std::string& dir) {
  try {
    return ReadWholeFile(dir + "requests");
  } catch (const std::exception&) {
    return "0";
  }
}

// Waits up to ten seconds for the holder to have counted this many requests.
bool HolderCounted(const std::string& dir, int count) {
  for (int waited = 0; waited < 10000; waited += 20) {
    if (Requests(dir) == std::to_string(count)) return true;
    ::Sleep(20);
  }
  return false;
}

// A holder in a process of its own, listening once it is ready.
struct THolder {
  std::string dir;
  testing::TChild child;
  explicit THolder(const std::string& what) : dir(FreshDirectory(what)) {
    child = testing::StartChild(L"beacon", L"\"" + Utf8ToWide(dir) + L"\"");
  }
  ~THolder() {
    if (child.process != nullptr) {
      ::TerminateProcess(child.process, 0);
      testing::WaitChild(child);
    }
  }
  bool Ready() const { return testing::WaitForFile(dir + "ready") && ReadWholeFile(dir + "ready") == "ready"; }
};

// A client of a holder's pipe that says what it likes and stays until it goes.
struct TRawAsker {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  explicit TRawAsker(pid_t holder, const std::string& says = "") {
    const std::wstring name = L"\\\\.\\pipe\\ardel-window-" + std::to_wstring(holder);
    for (int tries = 0; pipe == INVALID_HANDLE_VALUE && tries < 100; ++tries) {
      pipe = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (pipe == INVALID_HANDLE_VALUE) ::WaitNamedPipeW(name.c_str(), 1000);
    }
    EXPECT_NE(pipe, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    if (!says.empty()) {
      EXPECT_TRUE(::WriteFile(pipe, says.data(), static_cast<DWORD>(says.size()), &wrote, nullptr));
    }
  }
  ~TRawAsker() { Close(); }
  void Close() {
    if (pipe != INVALID_HANDLE_VALUE) ::CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
  }
};

TEST(Win32WindowBeacon, TheHolderIsAskedAndEveryAskerAtOnceIsAnswered) {
  THolder holder("asked");
  ASSERT_TRUE(holder.Ready());
  const auto pid = static_cast<pid_t>(holder.child.pid);
  EXPECT_TRUE(AskWindowToFront(pid, 10s));
  EXPECT_TRUE(HolderCounted(holder.dir, 1)) << Requests(holder.dir);

  // Starts that come together: each one hears yes, and the holder comes forward for each.
  std::vector<std::future<bool>> asked;
  for (int i = 0; i < 12; ++i) {
    asked.push_back(std::async(std::launch::async, [pid] { return AskWindowToFront(pid, 20s); }));
  }
  for (std::future<bool>& answer : asked) EXPECT_TRUE(answer.get());
  EXPECT_TRUE(HolderCounted(holder.dir, 13)) << Requests(holder.dir);
}

// Askers that say nothing, something else or half the request do not keep a real second
// start from its answer.
TEST(Win32WindowBeacon, StrangeAskersDoNotKeepASecondStartWaiting) {
  THolder holder("strange");
  ASSERT_TRUE(holder.Ready());
  const auto pid = static_cast<pid_t>(holder.child.pid);
  TRawAsker silent(pid);
  TRawAsker stranger(pid, "hello\n");
  TRawAsker partly(pid, "fr");
  // Gone before the holder got to them, or while it read.
  for (int i = 0; i < 5; ++i) TRawAsker(pid, "fro");
  EXPECT_TRUE(AskWindowToFront(pid, 10s));
  EXPECT_TRUE(HolderCounted(holder.dir, 1)) << Requests(holder.dir);
  silent.Close();
  stranger.Close();
  partly.Close();
  EXPECT_TRUE(AskWindowToFront(pid, 10s));
  EXPECT_TRUE(HolderCounted(holder.dir, 2)) << Requests(holder.dir);
}

// Where no window answers, the second start hears no before its wait is over, and then
// refuses as before; a holder that takes the call and says nothing costs it the wait
// and no more.
TEST(Win32WindowBeacon, NoWindowAnswersNoAndNothingHangs) {
  // A holder that was killed with its window.
  THolder killed("killed");
  ASSERT_TRUE(killed.Ready());
  const auto gone = static_cast<pid_t>(killed.child.pid);
  ASSERT_TRUE(::TerminateProcess(killed.child.process, 1));
  testing::WaitChild(killed.child);
  // A holder without a window, as ardel-cli holds a directory.
  const std::string dir = FreshDirectory("cli");
  testing::TChild cli = testing::StartChild(L"hold", L"\"" + Utf8ToWide(dir) + L"\"");
  ASSERT_TRUE(testing::WaitForFile(dir + "held"));
  // A holder whose pipe takes the call and never answers.
  const auto mute = static_cast<pid_t>(::GetCurrentProcessId());
  const HANDLE mutePipe = ::CreateNamedPipeW((L"\\\\.\\pipe\\ardel-window-" + std::to_wstring(mute)).c_str(),
                                             PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
  ASSERT_NE(mutePipe, INVALID_HANDLE_VALUE);

  struct TCase {
    const char* holder;
    pid_t pid;
    std::chrono::milliseconds wait;
    bool waitsItOut;
  } cases[] = {
      {"killed", gone, 30s, false},
      {"without a window", static_cast<pid_t>(cli.pid), 30s, false},
      {"no process", 0, 30s, false},
      {"not a process id", -5, 30s, false},
      {"mute", mute, 300ms, true},
  };
  for (const TCase& c : cases) {
    const auto start = Clock::now();
    EXPECT_FALSE(AskWindowToFront(c.pid, c.wait)) << c.holder;
    const auto took = Clock::now() - start;
    if (c.waitsItOut) {
      EXPECT_GE(took, c.wait) << c.holder;
    } else {
      EXPECT_LT(took, c.wait) << c.holder << " kept the second start for its whole wait";
    }
  }
  ::CloseHandle(mutePipe);
  ::TerminateProcess(cli.process, 0);
  testing::WaitChild(cli);
}

// One beacon a process: a second finds the name taken and the first still answers; a
// request still queued when the beacon goes does nothing, and once gone nothing answers.
TEST(Win32WindowBeacon, OneBeaconAProcessAndNothingAfterItGoes) {
  TPollEventLoop loop;
  int requests = 0;
  const auto self = static_cast<pid_t>(::GetCurrentProcessId());
  {
    TWindowBeacon beacon(loop, [&] { ++requests; });
    ASSERT_TRUE(beacon.Listening());
    {
      TWindowBeacon second(loop, [] {});
      EXPECT_FALSE(second.Listening());
    }
    // The answer does not wait for the main thread: the request runs on the loop.
    EXPECT_TRUE(AskWindowToFront(self, 10s));
    EXPECT_EQ(requests, 0);
    loop.RunPending();
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(AskWindowToFront(self, 10s));
  }
  loop.RunPending();
  EXPECT_EQ(requests, 1);
  EXPECT_FALSE(AskWindowToFront(self, 2s));
}

}  // namespace
}  // namespace ardel
