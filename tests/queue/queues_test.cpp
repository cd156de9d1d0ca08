#include "queue/queues.h"

#include <gtest/gtest.h>

namespace ardel {
namespace {

TEST(Queues, CommandsEnterAtTheTopAndLeaveFromAnyPosition) {
  TQueues q;
  for (const char* line : {"A", "B", "C", "", "[empty]", "C"}) q.EnqueueCommand(line);
  TLineList& c = q.Commands();
  ASSERT_EQ(c.Count(), 6u);
  EXPECT_EQ(c.At(0), "C");
  EXPECT_EQ(c.At(5), "A");  // the oldest is at the bottom
  c.RemoveAt(5);
  EXPECT_EQ(c.At(c.Count() - 1), "B");
  c.RemoveAt(99);  // no such position: nothing happens
  c.RemoveAt(c.Count());
  EXPECT_EQ(c.Count(), 5u);
  c.RemoveAt(2);
  EXPECT_EQ(c.At(1), "[empty]");
  EXPECT_EQ(c.At(2), "C");
}

TEST(Queues, TransmitPermit) {
  struct Case {
    const char* name;
    std::vector<char> actions;  // a: check AutoTransmit, c: clear it, s: Single Transmit
    bool permit;
  } cases[] = {
      {"start", {}, true},
      {"cleared", {'c'}, false},
      {"single after clear", {'c', 's', 's', 's'}, true},
      {"clear cancels single", {'c', 's', 'c'}, false},
      {"checked again", {'c', 'a'}, true},
  };
  for (const auto& c : cases) {
    TQueues q;
    for (char a : c.actions) {
      if (a == 'a') q.SetAutoTransmit(true);
      if (a == 'c') q.SetAutoTransmit(false);
      if (a == 's') q.SingleTransmit();
    }
    EXPECT_EQ(q.TransmitPermit(), c.permit) << c.name;
  }
}

TEST(Queues, RepeatCntrDisplayFollowsEveryChange) {
  TQueues q;
  EXPECT_EQ(q.RepeatCntr(), 3);
  std::vector<int> shown;
  q.SetRepeatCntrChanged([&](int v) { shown.push_back(v); });
  q.SetRepeatCntr(2);
  q.SetRepeatCntr(0);
  q.SetRepeatCntr(3);
  EXPECT_EQ(shown, (std::vector<int>{2, 0, 3}));
}

}  // namespace
}  // namespace ardel
