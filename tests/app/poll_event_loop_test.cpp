// The poll() loop: timers in their order, jobs from other threads in theirs, watches,
// and callbacks that remove what the loop is about to serve.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
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

// A sender that hands over without pause (a network port flooding answers) slows the
// tick, never stops it: each turn runs what waited when it began, then the due timers.
TEST(PollEventLoop, AFloodOfHandOversCannotStarveTheTimers) {
  enum TFlood { fdOtherThread, fdJobWakesJob };
  for (const TFlood flood : {fdOtherThread, fdJobWakesJob}) {
    SCOPED_TRACE(flood == fdOtherThread ? "another thread" : "a job that wakes the next");
    TPollEventLoop loop;
    std::atomic<bool> flooding{true};
    std::atomic<std::uint64_t> handed{0};
    const auto giveUp = std::chrono::steady_clock::now() + 3s;
    int ticksInFlood = 0;
    auto tick = loop.NewTimer(tkRepeating, [&] {
      if (flooding && ++ticksInFlood == 5) loop.Quit(0);
    });
    tick->Start(10ms);
    std::thread producer;
    std::function<void()> next = [&] {
      ++handed;
      if (std::chrono::steady_clock::now() > giveUp) {
        flooding = false;
        loop.Quit(1);
      } else if (flood == fdJobWakesJob) {
        loop.Wake(next);
      }
    };
    if (flood == fdOtherThread) {
      producer = std::thread([&] {
        while (flooding) {
          loop.Wake([&] { ++handed; });
          if (std::chrono::steady_clock::now() > giveUp) flooding = false;
        }
      });
      // Quits once the flood is over, if the timer never got its turn.
      auto late = loop.NewTimer(tkRepeating, [&] {
        if (!flooding) loop.Quit(1);
      });
      late->Start(50ms);
      EXPECT_EQ(loop.Run(), 0);
      flooding = false;
      producer.join();
    } else {
      loop.Wake(next);
      EXPECT_EQ(loop.Run(), 0);
    }
    EXPECT_EQ(ticksInFlood, 5);
    EXPECT_GT(handed.load(), 5u);
  }
}

}  // namespace
}  // namespace ardel
