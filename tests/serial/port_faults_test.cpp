// The port layer where it meets other programs: terminals handed on, locks of killed
// processes, a far end that takes nothing, consoles, RS485 and the reasons given.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/com_port.h"
#include "serial/port_device.h"
#include "serial/pty_fixture.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::TPty;
using testing::TScratch;
using testing::TTestLoop;

struct TPort {
  TTestLoop loop;
  TComPort port;
  std::vector<std::string> lost;
  std::vector<std::size_t> dropped;
  std::string received;
  explicit TPort(const std::string& name) {
    port.Port = name;
    port.ReceiveMode = rmRAW;
    port.SetWakeMainThread(loop.Wake());
    port.ReceiveCallBack = [this](const std::string& data) { received += data; };
    port.OnDeviceLost = [this](TComPort&, const std::string& reason) { lost.push_back(reason); };
    port.OnOutputDropped = [this](TComPort&, std::size_t bytes) { dropped.push_back(bytes); };
  }
};

std::string OpenFailure(TComPort& port) {
  try {
    port.OpenPort();
  } catch (const EComError& e) {
    return e.what();
  }
  return "";
}

TEST(PortTakeover, ALinkLeftToAReusedPseudoTerminalIsNotFollowedUntilMadeAnew) {
  TScratch scratch;
  auto first = std::make_unique<TPty>();
  TPty other;  // the terminal another program is given later
  // The port's link leads on through a second one, which stands in for the system
  // handing the freed number to someone else.
  const std::string number = scratch.dir + "/number";
  const std::string link = scratch.dir + "/adapter";
  ASSERT_EQ(::symlink(first->Path().c_str(), number.c_str()), 0);
  ASSERT_EQ(::symlink(number.c_str(), link.c_str()), 0);
  TPort t(link);
  t.port.OpenPort();
  first.reset();
  ASSERT_TRUE(t.loop.RunUntil([&] { return !t.lost.empty(); }));

  const std::string moved = scratch.dir + "/number.new";
  ASSERT_EQ(::symlink(other.Path().c_str(), moved.c_str()), 0);
  ASSERT_EQ(::rename(moved.c_str(), number.c_str()), 0);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::string text = OpenFailure(t.port);
    EXPECT_EQ(text.rfind("TCOMPORT : cannot open " + link + "\r" + link + ": it leads to a pseudo-terminal", 0), 0u)
        << text;
    EXPECT_FALSE(t.port.IsOpen());
  }
  // The other program's terminal is untouched: not set raw, its input not taken.
  termios tio{};
  ::tcgetattr(other.Slave(), &tio);
  EXPECT_TRUE(tio.c_lflag & ICANON);

  // Made anew, the link is the owner's word that it leads to the bus again.
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::symlink(number.c_str(), link.c_str()), 0);
  t.port.OpenPort();
  EXPECT_TRUE(t.port.IsOpen());
  other.Write("ok");
  ASSERT_TRUE(t.loop.RunUntil([&] { return t.received == "ok"; }));
  t.port.ClosePort();
  // The lock files are gone, the one of the vanished terminal too.
  for (const auto& entry : std::filesystem::directory_iterator(scratch.dir))
    EXPECT_NE(entry.path().filename().string().rfind("LCK..", 0), 0u) << entry.path();
}

TEST(PortTakeover, WhatAPathLedToDecidesAReopen) {
  TDeviceIdentity link{true, 1, 10, {100, 5}, true, 0, true};
  TDeviceIdentity remade = link;
  remade.linkCtime.tv_nsec = 6;
  TDeviceIdentity otherInode = link;
  otherInode.linkIno = 11;
  TDeviceIdentity plainPty{false, 0, 0, {}, true, 0, true};
  TDeviceIdentity uart{false, 0, 0, {}, true, 0, false};
  TDeviceIdentity uartByLink = link;
  uartByLink.pseudoTerminal = false;
  struct TCase {
    const char* what;
    TDeviceIdentity atLoss, now;
    bool reopen;
  } cases[] = {
      {"same link to a pty", link, link, false},
      {"link with a new ctime", link, remade, true},
      {"link with a new inode", link, otherInode, true},
      {"a pty by its number", plainPty, plainPty, false},
      {"a link now where a pty was named", plainPty, link, true},
      {"a UART", uart, uart, true},
      {"the same link to a UART", uartByLink, uartByLink, true},
  };
  for (const TCase& c : cases) EXPECT_EQ(MayReopenAfterLoss(c.atLoss, c.now), c.reopen) << c.what;
}

TEST(PortLocks, AKilledHolderLeavesNoMarkAndItsLockFileIsTakenOver) {
  TScratch scratch;
  TPty pty;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    TPortFault error;
    const int fd = OpenPortDevice(pty.Path(), error);
    const char byte = fd >= 0 ? 'y' : 'n';
    [[maybe_unused]] const auto n = ::write(ready[1], &byte, 1);
    ::pause();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  // While it lives, the holder is named.
  TPortFault error;
  EXPECT_LT(OpenPortDevice(pty.Path(), error), 0);
  EXPECT_NE(error.text.find("held by another program (process id " + std::to_string(child) + ")"), std::string::npos)
      << error.text;
  EXPECT_NE(DescribeOpenFailure(pty.Path(), EBUSY).find(std::to_string(child)), std::string::npos);

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  int exclusive = 0;
  ASSERT_EQ(::ioctl(pty.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0) << "the exclusive mark outlived its process";
  error = {};
  std::string lockFile;
  const int fd = OpenPortDevice(pty.Path(), error, &lockFile);
  ASSERT_GE(fd, 0) << error.text;
  std::ifstream lock(scratch.dir + "/LCK.." + pty.Path().substr(5).replace(3, 1, "_"));
  long pid = 0;
  ASSERT_TRUE(lock >> pid);
  EXPECT_EQ(pid, ::getpid());
  ::close(fd);
  ReleasePortLock(lockFile);
  EXPECT_TRUE(std::filesystem::is_empty(scratch.dir));

  // A lock file whose number now belongs to a process without the device is stale too.
  std::ofstream(lockFile) << "  " << ::getppid() << "\n";
  error = {};
  const int again = OpenPortDevice(pty.Path(), error, &lockFile);
  EXPECT_GE(again, 0) << error.text;
  ::close(again);
  ReleasePortLock(lockFile);
}

TEST(PortOutput, AFarEndThatTakesNothingBoundsTheQueueAndDropsWholeTelegrams) {
  TPty pty;
  TPort t(pty.Path());
  t.port.OpenPort();
  const std::string telegram(14, '\x5A');
  constexpr int kCount = 20000;  // 280 000 bytes, far more than the device takes
  for (int i = 0; i < kCount; ++i) {
    t.port.SendString(telegram);
    ASSERT_LE(t.port.QueuedOutput(), 2880u);
  }
  std::size_t dropped = 0;
  for (std::size_t d : t.dropped) {
    EXPECT_EQ(d, telegram.size());
    dropped += d;
  }
  EXPECT_GT(dropped, 200000u);
  // What was kept arrives, whole telegrams only.
  std::string arrived;
  t.loop.RunUntil([&] {
    arrived += pty.ReadAvailable();
    return arrived.size() + dropped == kCount * telegram.size();
  });
  EXPECT_EQ(arrived.size() + dropped, kCount * telegram.size());
  EXPECT_EQ(arrived.size() % telegram.size(), 0u);
}

TEST(PortRefusals, TheProgramsOwnTerminalAndAPortWithoutDevice) {
  TPty pty;
  // The terminal the program runs in, as standard input.
  const int saved = ::dup(0);
  ASSERT_EQ(::dup2(pty.Slave(), 0), 0);
  termios before{};
  ::tcgetattr(pty.Slave(), &before);
  TPort own(pty.Path());
  const std::string text = OpenFailure(own.port);
  ::dup2(saved, 0);
  ::close(saved);
  EXPECT_NE(text.find(pty.Path() + ": this is the system console or the terminal of this program"),
            std::string::npos)
      << text;
  termios after{};
  ::tcgetattr(pty.Slave(), &after);
  EXPECT_EQ(after.c_lflag, before.c_lflag) << "the terminal was changed";

  for (const char* console : {"/dev/tty", "/dev/tty0"}) {
    const int fd = ::open(console, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) continue;
    EXPECT_TRUE(IsConsoleOrOwnTerminal(fd)) << console;
    ::close(fd);
  }
  EXPECT_FALSE(IsConsoleOrOwnTerminal(pty.Slave()));

  TPort empty("COM1");
  empty.port.SetPortMap({{"COM1", ""}});
  EXPECT_EQ(OpenFailure(empty.port), "TCOMPORT : cannot open COM1\rCOM1: the port has no device (its line in [Ports] is empty)");
}

TEST(PortRs485, APseudoTerminalRefusesTheModeClearly) {
  TScratch scratch;
  TPty pty;
  TPort t("COM2");
  t.port.SetPortMap({{"COM2", pty.Path()}, {"com2.RS485", "1"}});
  EXPECT_EQ(OpenFailure(t.port), "TCOMPORT : cannot open COM2\r" + pty.Path() +
                                      ": the device has no RS485 mode (asked for by rs485=1 in [Ports])");
  EXPECT_TRUE(std::filesystem::is_empty(scratch.dir)) << "the refused port left its lock";
  t.port.SetPortMap({{"COM2", pty.Path()}, {"COM2.rs485", "0"}});
  t.port.OpenPort();
  EXPECT_TRUE(t.port.IsOpen());
  EXPECT_TRUE(PortWantsRs485("com3", {{"COM3.rs485", "1"}}));
  EXPECT_FALSE(PortWantsRs485("COM3", {{"COM4.rs485", "1"}}));
}

TEST(PortReasons, PermissionNamesTheGroupOnlyForASerialLine) {
  TScratch scratch;
  TPty pty;
  const group* dialout = ::getgrnam("dialout");
  if (dialout == nullptr) GTEST_SKIP() << "no group dialout";
  ASSERT_EQ(::chown(pty.Path().c_str(), static_cast<uid_t>(-1), dialout->gr_gid), 0);
  const std::string text = DescribeOpenFailure(pty.Path(), EACCES);
  EXPECT_NE(text.find("the group \"dialout\""), std::string::npos) << text;
  EXPECT_NE(text.find("log in again"), std::string::npos) << text;
  const std::string file = scratch.dir + "/plain";
  std::ofstream(file) << "x";
  ASSERT_EQ(::chown(file.c_str(), static_cast<uid_t>(-1), dialout->gr_gid), 0);
  EXPECT_EQ(DescribeOpenFailure(file, EACCES), file + ": Permission denied");
}

}  // namespace
}  // namespace ardel
