// The poll() loop's watches: descriptors are what a POSIX system waits on.

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "app/poll_event_loop.h"

namespace ardel {
namespace {

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
