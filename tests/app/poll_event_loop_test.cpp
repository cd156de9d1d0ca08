// The poll() loop: timers in their order, jobs from other threads in theirs, watches,
// and callbacks that remove what the loop is about to serve.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include <string>
#include <thread>
#include <vector>

#include "app/poll_event_loop.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;

TEST(PollEventLoop, TimersFireInTheirOrderAndQuitEndsTheRun) {
  TPollEventLoop loop;
  std::string fired;
  auto single = loop.NewTimer(tkSingleShot, [&] { fired += "s"; });
  auto repeating = loop.NewTimer(tkRepeating, [&] { fired += "r"; });
  auto last = loop.NewTimer(tkSingleShot, [&] { loop.Quit(7); });
  single->Start(15ms);
  repeating->Start(10ms);
  last->Start(45ms);
  EXPECT_TRUE(single->IsActive());
  EXPECT_EQ(repeating->Interval(), 10ms);
  EXPECT_EQ(loop.Run(), 7);
  // r at 10, s at 15, then r again every 10 ms; the single shot once.
  ASSERT_GE(fired.size(), 2u);
  EXPECT_EQ(fired.substr(0, 2), "rs");
  EXPECT_EQ(std::count(fired.begin(), fired.end(), 's'), 1);
  EXPECT_FALSE(single->IsActive());
  EXPECT_TRUE(repeating->IsActive());
}

TEST(PollEventLoop, ACallbackMayRemoveOrStopWhatIsDueWithIt) {
  TPollEventLoop loop;
  int second = 0;
  std::unique_ptr<ITimer> removed;
  std::unique_ptr<ITimer> self;
  auto first = loop.NewTimer(tkSingleShot, [&] {
    removed.reset();
    self.reset();
  });
  removed = loop.NewTimer(tkSingleShot, [&] { ++second; });
  self = loop.NewTimer(tkRepeating, [&] { self.reset(); });
  auto end = loop.NewTimer(tkSingleShot, [&] { loop.Quit(0); });
  first->Start(5ms);
  removed->Start(5ms);
  self->Start(5ms);
  end->Start(30ms);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(self, nullptr);
}

TEST(PollEventLoop, JobsFromAnotherThreadRunInTheirOrderOnTheLoopsThread) {
  TPollEventLoop loop;
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  // A blocking hand-over: the other thread waits in the loop's poll without a timer.
  std::thread other([&] {
    std::this_thread::sleep_for(20ms);
    for (int i = 0; i < 100; ++i) {
      loop.Wake([&, i] {
        order.push_back(i);
        threads.push_back(std::this_thread::get_id());
      });
    }
    loop.Wake([&] { loop.Quit(3); });
  });
  EXPECT_EQ(loop.Run(), 3);
  other.join();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(PollEventLoop, WatchesServeReadableDescriptorsUntilRemoved) {
  TPollEventLoop loop;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string read;
  std::unique_ptr<IWatch> watch;
  watch = loop.WatchReadable(fds[0], [&] {
    char c;
    if (::read(fds[0], &c, 1) == 1) read.push_back(c);
    if (c == '.') {
      watch.reset();
      loop.Quit(0);
    }
  });
  ASSERT_EQ(::write(fds[1], "ab.c", 4), 4);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(read, "ab.");
  // Nobody watches the rest any more; a Quit before the run ends it at once.
  loop.Quit(5);
  EXPECT_EQ(loop.Run(), 5);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace ardel
