// Why a port is refused or lost, as the kind that the layers above read, and what a
// second program does to the holder of a device: nothing at all.

#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "serial/com_port.h"
#include "serial/port_device.h"
#include "serial/pty_fixture.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::TPty;
using testing::TScratch;
using testing::TTestLoop;

// Another program that holds the device as Ardel does: its descriptor's lock and its
// lock file.
class THolder {
 public:
  explicit THolder(const std::string& device) {
    int ready[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      TPortFault fault;
      const char byte = OpenPortDevice(device, fault) >= 0 ? 'y' : 'n';
      [[maybe_unused]] const auto n = ::write(ready[1], &byte, 1);
      ::pause();
      ::_exit(0);
    }
    char byte = 0;
    held_ = ::read(ready[0], &byte, 1) == 1 && byte == 'y';
    ::close(ready[0]);
    ::close(ready[1]);
  }
  ~THolder() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  THolder(const THolder&) = delete;
  THolder& operator=(const THolder&) = delete;
  pid_t Pid() const { return pid_; }
  bool Held() const { return held_; }

 private:
  pid_t pid_ = -1;
  bool held_ = false;
};

struct TRefusal {
  bool thrown = false;
  std::string text;
  TPortFault fault;
};

TRefusal OpenRefusal(const std::string& name, const TPortMap& map = {}) {
  TTestLoop loop;
  TComPort port;
  port.Port = name;
  port.SetPortMap(map);
  port.SetWakeMainThread(loop.Wake());
  TRefusal refusal;
  try {
    port.OpenPort();
  } catch (const EComError& e) {
    refusal = {true, e.what(), e.Fault()};
  }
  return refusal;
}

TEST(PortReasons, EachRefusalCarriesItsKindBesideItsUnchangedText) {
  TScratch scratch;
  TPty held;
  THolder holder(held.Path());
  ASSERT_TRUE(holder.Held());
  const std::string plain = scratch.dir + "/plain";
  std::ofstream(plain) << "x";
  const std::string fifo = scratch.dir + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct TCase {
    const char* what;
    std::string name;
    TPortMap map;
    TComErrorKind kind;
    std::string textEnd;
    pid_t holder = 0;
  };
  const TCase cases[] = {
      {"a path that is not there", "/nonexistent/ttyUSB9", {}, ekMISSING, ": No such file or directory"},
      {"a name that names nothing", "BUS", {}, ekMISSING, ": no device is known by this name"},
      {"an empty line in [Ports]", "COM1", {{"COM1", ""}}, ekMISSING, "(its line in [Ports] is empty)"},
      {"a plain file", plain, {}, ekNOT_SERIAL, ": not a serial device"},
      {"a pipe", "COM2", {{"COM2", fifo}}, ekNOT_SERIAL, ": not a serial device"},
      {"a malformed network address", "socket://bus", {}, ekOTHER, "must read HOST:PORT"},
      {"a device another program holds", held.Path(), {}, ekBUSY,
       "held by another program (process id " + std::to_string(holder.Pid()) + ")", holder.Pid()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TRefusal refusal = OpenRefusal(c.name, c.map);
    ASSERT_TRUE(refusal.thrown);
    EXPECT_EQ(refusal.fault.kind, c.kind);
    EXPECT_EQ(refusal.fault.holder, c.holder);
    // The text is as it always was; its second line is the fault's own.
    EXPECT_EQ(refusal.text, "TCOMPORT : cannot open " + c.name + "\r" + refusal.fault.text);
    EXPECT_TRUE(refusal.fault.text.ends_with(c.textEnd)) << refusal.fault.text;
  }
}

TEST(PortReasons, APermissionRefusedNamesTheGroupOfASerialLine) {
  TPty pty;
  struct stat st {};
  ASSERT_EQ(::stat(pty.Path().c_str(), &st), 0);
  const group* owner = ::getgrgid(st.st_gid);
  const TPortFault fault = OpenFault(pty.Path(), EACCES);
  EXPECT_EQ(fault.kind, ekNO_PERMISSION);
  EXPECT_EQ(fault.group, st.st_gid != 0 && owner != nullptr ? owner->gr_name : "");
  const TPortFault missing = OpenFault(pty.Path(), ENOENT);
  EXPECT_EQ(missing.kind, ekMISSING);
  EXPECT_TRUE(missing.group.empty());
}

// Another program's open and close of a pseudo-terminal that this one holds can end
// the holder's use of it; a refused second program must not touch the device at all.
TEST(PortLocks, ASecondProgramRefusedNeverOpensTheHoldersDevice) {
  TScratch scratch;
  TPty pty;
  THolder holder(pty.Path());
  ASSERT_TRUE(holder.Held());
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, pty.Path().c_str(), IN_OPEN | IN_CLOSE), 0);
  auto opens = [&] {
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    ssize_t got;
    while ((got = ::read(watch, buffer, sizeof buffer)) > 0) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->mask & IN_OPEN) ++count;
        at += sizeof(inotify_event) + event->len;
      }
    }
    return count;
  };

  const TRefusal refusal = OpenRefusal(pty.Path());
  ASSERT_TRUE(refusal.thrown);
  EXPECT_EQ(refusal.fault.kind, ekBUSY);
  EXPECT_EQ(refusal.fault.holder, holder.Pid());
  EXPECT_EQ(opens(), 0) << "the refused open touched the holder's device";

  // The watch sees an open where there is one.
  const int fd = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_EQ(opens(), 1);
  ::close(watch);
}

// A TCP server on the loopback that accepts one client.
class TLoopbackServer {
 public:
  TLoopbackServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on the loopback");
    }
    port_ = ntohs(address.sin_port);
  }
  ~TLoopbackServer() {
    if (client_ >= 0) ::close(client_);
    ::close(listener_);
  }
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  std::string Url() const { return "socket://127.0.0.1:" + std::to_string(port_); }
  bool Accept() {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return false;
    client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return client_ >= 0;
  }
  // Everything up to the client's end, or what came within the time.
  std::string ReadToEnd() {
    std::string data;
    char buffer[4096];
    for (;;) {
      pollfd p{client_, POLLIN, 0};
      if (::poll(&p, 1, 5000) != 1) break;
      const ssize_t n = ::read(client_, buffer, sizeof buffer);
      if (n <= 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
  }

 private:
  int listener_ = -1;
  int client_ = -1;
  unsigned short port_ = 0;
};

// An ACK or a command written right before the program ends must still go out.
TEST(PortClose, BytesWrittenRightBeforeTheCloseReachTheFarEnd) {
  std::string telegrams;
  for (int i = 0; i < 180; ++i) telegrams += std::string("\xA5\x5A\xAB\xB0\x00\x00\x00", 7) + char(i) + "\xFF\xFF\xFF\x80\x00\x00\x11";
  ASSERT_LE(telegrams.size(), 2880u);  // within the queue's bound at 9600 baud

  // A device.
  {
    TTestLoop loop;
    TPty pty;
    TComPort port;
    port.Port = pty.Path();
    port.SetWakeMainThread(loop.Wake());
    port.OpenPort();
    for (std::size_t at = 0; at < telegrams.size(); at += 15) port.SendString(telegrams.substr(at, 15));
    port.ClosePort();
    std::string arrived;
    for (int i = 0; i < 100 && arrived.size() < telegrams.size(); ++i) {
      arrived += pty.ReadAvailable();
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(arrived, telegrams) << "a device lost " << telegrams.size() - arrived.size() << " bytes";
  }
  // A network port.
  {
    TTestLoop loop;
    TLoopbackServer server;
    TComPort port;
    port.Port = server.Url();
    port.SetWakeMainThread(loop.Wake());
    port.OpenPort();
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(loop.RunUntil([&] { return port.IsConnected(); }));
    for (std::size_t at = 0; at < telegrams.size(); at += 15) port.SendString(telegrams.substr(at, 15));
    port.ClosePort();
    const std::string arrived = server.ReadToEnd();
    EXPECT_EQ(arrived, telegrams) << "a network port lost " << telegrams.size() - arrived.size() << " bytes";
  }
}

// A network port is open at once but carries bytes only once it is connected; a
// server that refuses is a fault of its own kind, not a loss of a device.
TEST(NetworkConnect, ConnectedOnlyOnceTheServerTookTheConnection) {
  int refusedPort = 0;
  {
    TLoopbackServer gone;
    refusedPort = std::stoi(gone.Url().substr(gone.Url().rfind(':') + 1));
  }
  TTestLoop loop;
  TComPort port;
  port.Port = "socket://127.0.0.1:" + std::to_string(refusedPort);
  port.SetWakeMainThread(loop.Wake());
  int connected = 0;
  std::vector<std::string> lost;
  port.OnConnected = [&](TComPort&) { ++connected; };
  port.OnDeviceLost = [&](TComPort&, const std::string& reason) { lost.push_back(reason); };
  port.OpenPort();
  EXPECT_TRUE(port.IsOpen());
  EXPECT_FALSE(port.IsConnected());
  ASSERT_TRUE(loop.RunUntil([&] { return !lost.empty(); }));
  EXPECT_EQ(connected, 0);
  EXPECT_EQ(port.LostFault().kind, ekREFUSED);
  EXPECT_TRUE(lost[0].find("Connection refused") != std::string::npos) << lost[0];

  TLoopbackServer server;
  port.Port = server.Url();
  port.OpenPort();
  ASSERT_TRUE(server.Accept());
  ASSERT_TRUE(loop.RunUntil([&] { return connected == 1; }));
  EXPECT_TRUE(port.IsConnected());
}

}  // namespace
}  // namespace ardel
