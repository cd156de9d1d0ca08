#include "app/window_beacon.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <future>
#include <string>

#include "support/fake_event_loop.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;

// Asks from another thread while the loop serves, as a second process would.
bool AskWhileServing(testing::TFakeEventLoop& loop, pid_t holder) {
  auto asked = std::async(std::launch::async, [holder] { return AskWindowToFront(holder, 2s); });
  while (asked.wait_for(1ms) != std::future_status::ready) loop.RunPending();
  loop.RunPending();
  return asked.get();
}

// A client of the beacon's socket that says what it likes and stays.
int Connect(pid_t holder) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string name = "ardel-window-" + std::to_string(holder);
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
  return fd;
}

TEST(WindowBeacon, ASecondStartBringsTheWindowForward) {
  testing::TFakeEventLoop loop;
  int requests = 0;
  TWindowBeacon beacon(loop, [&] { ++requests; });
  ASSERT_TRUE(beacon.Listening());
  EXPECT_TRUE(AskWhileServing(loop, ::getpid()));
  EXPECT_EQ(requests, 1);

  // An asker that says nothing, one that says something else, one that says half and
  // goes: none is a request, and none keeps the next second start waiting.
  const int silent = Connect(::getpid());
  const int stranger = Connect(::getpid());
  ASSERT_EQ(::send(stranger, "hello\n", 6, 0), 6);
  const int half = Connect(::getpid());
  ASSERT_EQ(::send(half, "fr", 2, 0), 2);
  ::close(half);
  loop.RunPending();
  EXPECT_TRUE(AskWhileServing(loop, ::getpid()));
  EXPECT_EQ(requests, 2);
  ::close(silent);
  ::close(stranger);
  loop.RunPending();
}

TEST(WindowBeacon, NoWindowListensForAnotherProcess) {
  testing::TFakeEventLoop loop;
  int requests = 0;
  // A holder without a window (ardel-cli, or a process that is gone): the second start
  // refuses as before.
  const pid_t child = ::fork();
  if (child == 0) {
    ::pause();
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  TWindowBeacon beacon(loop, [&] { ++requests; });
  EXPECT_FALSE(AskWindowToFront(child, 200ms));
  EXPECT_FALSE(AskWindowToFront(0, 200ms));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  loop.RunPending();
  EXPECT_EQ(requests, 0);

  // One beacon a process: a second finds the name taken, and the first still answers.
  const pid_t self = ::getpid();
  {
    TWindowBeacon second(loop, [] {});
    EXPECT_FALSE(second.Listening());
  }
  EXPECT_TRUE(AskWhileServing(loop, self));
}

}  // namespace
}  // namespace ardel
