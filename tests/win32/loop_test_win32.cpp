// The event loop on handles, and the console's quit events through it.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "app/poll_event_loop.h"
#include "app/quit_signals.h"
#include "util/file_io.h"
#include "util/text_file.h"
#include "util/win32_text.h"
#include "win32/child_process.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;

// The hand-over from the port's thread: every job runs on the loop's thread, in order,
// and a wake that comes while the loop waits ends the wait.
TEST(Win32Loop, JobsFromOtherThreadsRunOnTheLoopInOrder) {
  TPollEventLoop loop;
  const DWORD loopThread = ::GetCurrentThreadId();
  std::vector<int> got;
  bool allOnLoop = true;
  std::thread other([&] {
    for (int i = 0; i < 1000; ++i) {
      loop.Wake([&, i] {
        allOnLoop = allOnLoop && ::GetCurrentThreadId() == loopThread;
        got.push_back(i);
        if (i == 999) loop.Quit(5);
      });
      if (i % 100 == 0) std::this_thread::sleep_for(1ms);
    }
  });
  // Without the wake, nothing would end this run before the limit.
  auto limit = loop.NewTimer(tkSingleShot, [&] { loop.Quit(9); });
  limit->Start(20s);
  EXPECT_EQ(loop.Run(), 5);
  other.join();
  ASSERT_EQ(got.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(got[static_cast<std::size_t>(i)], i);
  EXPECT_TRUE(allOnLoop);
}

TEST(Win32Loop, TimersFireInTheirOrderAndRepeat) {
  TPollEventLoop loop;
  std::vector<std::string> fired;
  int ticks = 0;
  auto repeat = loop.NewTimer(tkRepeating, [&] {
    if (++ticks == 3) loop.Quit(0);
  });
  auto late = loop.NewTimer(tkSingleShot, [&] { fired.push_back("late"); });
  auto early = loop.NewTimer(tkSingleShot, [&] { fired.push_back("early"); });
  late->Start(30ms);
  early->Start(10ms);
  repeat->Start(60ms);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(fired, (std::vector<std::string>{"early", "late"}));
  EXPECT_FALSE(late->IsActive());
  EXPECT_TRUE(repeat->IsActive());
}

// Ctrl+Break on the console reaches the running program as a quit signal on its loop,
// which then saves and ends with its own status. The program has a console of its own,
// so that the event reaches nothing else.
TEST(Win32Quit, CtrlBreakSavesAndEndsTheProgram) {
  const std::string dir = TemporaryDirectory() + "ardel-quit-" + std::to_string(::GetCurrentProcessId()) + "/";
  MakeDirectory(dir);
  auto child = testing::StartChild(L"quit", L"\"" + Utf8ToWide(dir) + L"\" self", CREATE_NEW_CONSOLE);
  ASSERT_NE(child.process, nullptr);
  const int status = testing::WaitChild(child);
  if (status == 8) GTEST_SKIP() << "this Wine cannot send console events";
  if (status == 7) GTEST_SKIP() << "this Wine did not deliver Ctrl+Break to the program";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadWholeFile(dir + "saved"), std::to_string(SIGBREAK));
  RemoveFile(dir + "saved");
  RemoveFile(dir + "ready");
  ::RemoveDirectoryW(PathToWide(dir).c_str());
}

TEST(Win32Quit, OneOwnerAtATime) {
  TPollEventLoop loop;
  {
    TQuitSignals quit(loop, [](int) {});
    EXPECT_THROW(TSignalPipe(), std::runtime_error);
  }
  TSignalPipe again;
  EXPECT_EQ(again.Take(), 0);
}

}  // namespace
}  // namespace ardel
