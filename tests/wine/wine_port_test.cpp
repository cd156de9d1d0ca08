// The Windows build under Wine, its COM ports mapped to pseudo-terminals that this side
// serves: the port layer's own test program against an echo, and ardel-cli.exe against
// ardel-bus. Skipped where the Windows build or Wine is not there.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "stations/station_file.h"
#include "support/processes.h"
#include "support/program_directory.h"
#include "util/text_file.h"

namespace ardel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::CountOf;
using testing::TBusProcess;
using testing::TProgramDirectory;
using testing::WaitForExit;

constexpr char kWine[] = "/usr/lib/wine/wine64";
// COM1 to COM8 of the prefix lead to links in the ports folder, which each test points
// at its own pseudo-terminal; Wine follows a link when a program opens the port, so no
// server restart is needed between tests. Tests running at once take different numbers.
constexpr int kMappedPorts = 8;

std::string WindowsBuild() {
  const char* dir = std::getenv("ARDEL_WINDOWS_BUILD_DIR");
  return dir != nullptr ? dir : ARDEL_WINDOWS_BUILD;
}
std::string PortsFolder() { return std::string(ARDEL_WINE_PREFIX) + "-ports"; }

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

// Makes the prefix once, with the ports mapped; the stamp says it is done.
void PreparePrefix() {
  const std::string prefix = ARDEL_WINE_PREFIX;
  const std::string stamp = prefix + "/ports-mapped";
  fs::create_directories(PortsFolder());
  const int lock = ::open((prefix + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ::flock(lock, LOCK_EX);
  if (!fs::exists(stamp)) {
    const std::string env = "WINEPREFIX='" + prefix + "' WINEDEBUG=-all ";
    Shell(env + kWine + " wineboot -i >/dev/null 2>&1");
    for (int n = 1; n <= kMappedPorts; ++n) {
      Shell(env + kWine + " reg add 'HKLM\\Software\\Wine\\Ports' /v COM" + std::to_string(n) + " /d '" +
            PortsFolder() + "/COM" + std::to_string(n) + "' /f >/dev/null 2>&1");
    }
    // The mapping takes effect when the server starts again.
    Shell(env + "/usr/lib/wine/wineserver -k >/dev/null 2>&1; " + env + "/usr/lib/wine/wineserver -w");
    WriteFileAtomically(stamp, "");
  }
  ::flock(lock, LOCK_UN);
  ::close(lock);
}

// Points COM<n> of the prefix at a device.
void MapPort(int n, const std::string& device) {
  const fs::path link = PortsFolder() + "/COM" + std::to_string(n);
  std::error_code ignored;
  fs::remove(link, ignored);
  fs::create_symlink(device, link);
}

// "Z:\tmp\x": how a Windows program under Wine names a Linux path.
std::string WindowsPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

// A Windows program run under Wine in the prefix; its output in a file.
class TWineProcess {
 public:
  explicit TWineProcess(bool modemLines, std::vector<std::string> extraEnvironment = {})
      : modemLines_(modemLines), extra_(std::move(extraEnvironment)) {
    char pattern[] = "/tmp/ardel-wine-XXXXXX";
    directory_ = ::mkdtemp(pattern);
  }
  ~TWineProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(directory_);
  }

  pid_t Start(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{kWine, program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = testing::Environment();
    environment.push_back(std::string("WINEPREFIX=") + ARDEL_WINE_PREFIX);
    environment.push_back("WINEDEBUG=-all");
    environment.push_back(std::string("ARDEL_WINE_MODEM_LINES=") + (modemLines_ ? "1" : "0"));
    // Wine's driver asks a pseudo-terminal for modem lines it does not have; the
    // preloaded library answers for it.
    if (modemLines_) environment.push_back(std::string("LD_PRELOAD=") + ARDEL_MODEM_SHIM);
    environment.insert(environment.end(), extra_.begin(), extra_.end());
    pid_ = testing::SpawnProcess(argv, environment, directory_ + "/out.txt");
    return pid_;
  }
  std::optional<int> Wait(std::chrono::milliseconds limit) {
    const std::optional<int> status = WaitForExit(pid_, limit);
    pid_ = -1;
    return status;
  }
  std::optional<int> Run(const std::string& program, const std::vector<std::string>& arguments,
                         std::chrono::milliseconds limit = 60s) {
    Start(program, arguments);
    return Wait(limit);
  }
  std::string Output() const {
    std::error_code error;
    return fs::exists(directory_ + "/out.txt", error) ? ReadWholeFile(directory_ + "/out.txt") : std::string();
  }

 private:
  bool modemLines_;
  std::vector<std::string> extra_;
  std::string directory_;
  pid_t pid_ = -1;
};

// A pseudo-terminal that sends back what it gets and hangs up on "\x04BYE\n".
class TEchoLine {
 public:
  TEchoLine() {
    char name[256];
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    path_ = name;
    // Wine must not inherit the far end: a hang-up is the far end's last close.
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TEchoLine() {
    stop_ = true;
    thread_.join();
    if (master_ >= 0) ::close(master_);
    ::close(slave_);
  }
  const std::string& Path() const { return path_; }
  bool HungUp() const { return hungUp_; }

 private:
  void Serve() {
    std::string seen;
    while (!stop_ && master_ >= 0) {
      pollfd fd{master_, POLLIN, 0};
      if (::poll(&fd, 1, 50) <= 0 || !(fd.revents & POLLIN)) continue;
      char buffer[512];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      seen.append(buffer, static_cast<std::size_t>(n));
      if (seen.find("\x04" "BYE\n") != std::string::npos) {
        ::close(master_);
        master_ = -1;
        hungUp_ = true;
        break;
      }
      if (seen.size() > 16) seen.erase(0, seen.size() - 16);
      for (ssize_t at = 0; at < n;) {
        const ssize_t w = ::write(master_, buffer + at, static_cast<std::size_t>(n - at));
        if (w > 0) at += w;
      }
    }
  }
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hungUp_{false};
};

// A TCP echo on the loopback, one client at a time.
class TEchoServer {
 public:
  TEchoServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TEchoServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  std::string Url() const { return "socket://127.0.0.1:" + std::to_string(port_); }

 private:
  void Serve() {
    int client = -1;
    while (!stop_) {
      pollfd fds[2] = {{listener_, POLLIN, 0}, {client, POLLIN, 0}};
      if (::poll(fds, client >= 0 ? 2 : 1, 50) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        if (client >= 0) ::close(client);
        client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        continue;
      }
      char buffer[512];
      const ssize_t n = ::read(client, buffer, sizeof buffer);
      if (n <= 0) {
        ::close(client);
        client = -1;
        continue;
      }
      for (ssize_t at = 0; at < n;) {
        const ssize_t w = ::write(client, buffer + at, static_cast<std::size_t>(n - at));
        if (w <= 0) break;
        at += w;
      }
    }
    if (client >= 0) ::close(client);
  }
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

// A loopback port where nothing listens: taken and let go again.
std::string ClosedUrl() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return "socket://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

#define NEED_WINDOWS_PROGRAM(path)                                                              \
  if (!fs::exists(kWine)) GTEST_SKIP() << "no Wine";                                         \
  if (!fs::exists(path)) GTEST_SKIP() << path << " is not built: run ./scripts/build-windows"; \
  PreparePrefix()

TEST(WinePort, PortLayerTestsPassWithAndWithoutModemLines) {
  const std::string program = WindowsBuild() + "/test_serial_win32.exe";
  NEED_WINDOWS_PROGRAM(program);
  for (const bool modemLines : {true, false}) {
    SCOPED_TRACE(modemLines ? "with modem lines" : "without modem lines");
    {
      TEchoLine line;
      MapPort(7, line.Path());
      MapPort(8, PortsFolder() + "/nothing");
      TEchoServer server;
      TWineProcess wine(modemLines, {"ARDEL_WINE_PORT=COM7", "ARDEL_WINE_DANGLING_PORT=COM8",
                                     "ARDEL_WINE_ECHO_URL=" + server.Url(), "ARDEL_WINE_CLOSED_URL=" + ClosedUrl()});
      EXPECT_EQ(wine.Run(program, {"--gtest_filter=CommNames.*:CommPort.*:NetworkPort.*"}), 0) << wine.Output();
    }
    {
      // Another program holds the port while the test opens it.
      TEchoLine line;
      MapPort(7, line.Path());
      TWineProcess holder(modemLines, {"ARDEL_WINE_PORT=COM7"});
      holder.Start(program, {"--gtest_filter=CommPortHolder.*", "--gtest_also_run_disabled_tests"});
      TWineProcess wine(modemLines, {"ARDEL_WINE_PORT=COM7"});
      EXPECT_EQ(wine.Run(program, {"--gtest_filter=CommPortHeld.*"}), 0) << wine.Output();
      EXPECT_EQ(holder.Wait(60s), 0) << holder.Output();
    }
    {
      // The far end hangs up: the port's life ends here.
      TEchoLine line;
      MapPort(7, line.Path());
      TWineProcess wine(modemLines, {"ARDEL_WINE_PORT=COM7"});
      EXPECT_EQ(wine.Run(program, {"--gtest_filter=CommPortGone.*"}), 0) << wine.Output();
    }
  }
}

// The station table as ardel-bus plays it: station 0 (FFFFFF80), station 1 (FFFFFF00).
void WriteStations(const TProgramDirectory& files) {
  TStationTable table;
  table.WriteHeadings();
  table.SetCell(StationColumn(0), kSbiRow, "FFFFFF80");
  table.SetCell(StationColumn(1), kSbiRow, "FFFFFF00");
  WriteFileAtomically(files.StationFile(), StationFileText(table));
  WriteFileAtomically(files.RuleSetFile(), "");
}

std::string CliProgram() { return WindowsBuild() + "/src/cli/ardel-cli.exe"; }

TEST(WineCli, AnExpectAnsweredEndsWithZeroASilentStationWithOne) {
  NEED_WINDOWS_PROGRAM(CliProgram());
  struct TCase {
    const char* name;
    std::vector<std::string> busOptions;
    int status;
  };
  const TCase cases[] = {{"answering", {}, 0}, {"silent", {"--silent", "0"}, 1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBusProcess bus;
    std::vector<std::string> options{"--stations", "1"};
    options.insert(options.end(), c.busOptions.begin(), c.busOptions.end());
    bus.Start(options);
    MapPort(1, bus.Path());
    TProgramDirectory files;
    WriteStations(files);
    TWineProcess cli(true);
    EXPECT_EQ(cli.Run(CliProgram(), {"--dir", WindowsPath(files.Path()), "--port", "COM1", "--send",
                                     "AB B0 00000000 FFFFFF80 00   version", "--expect", "8B B0 * FFFFFF80 ??",
                                     "--timeout", "3"}),
              c.status)
        << cli.Output();
    EXPECT_EQ(bus.CountInOutput("<- AB B0 00000000 FFFFFF80 00"), c.status == 0 ? 1u : 3u) << bus.Output();
  }
}

TEST(WineCli, ReadInfiFillsTheDataFileWithWindowsLineEnds) {
  NEED_WINDOWS_PROGRAM(CliProgram());
  TBusProcess bus;
  bus.Start({"--stations", "2"});
  MapPort(2, bus.Path());
  TProgramDirectory files;
  WriteStations(files);
  TWineProcess cli(true);
  ASSERT_EQ(cli.Run(CliProgram(), {"--dir", WindowsPath(files.Path()), "--port", "COM2", "read-infi", "0"}), 0)
      << cli.Output();
  const std::string data = ReadWholeFile(files.StationFile());
  EXPECT_EQ(CountOf(bus.Output(), "<- AB B4 00000000 FFFFFF80"), 16u) << bus.Output();
  // Every line ends in CR LF, none in a bare LF.
  EXPECT_GT(CountOf(data, "\r\n"), 17u) << data;
  EXPECT_EQ(CountOf(data, "\n"), CountOf(data, "\r\n")) << data;
  TStationTable saved;
  LoadStationTable(saved, files.StationFile());
  // The bus's station 0 listens to station 1's block.
  for (int i = 0; i < kInfiCount; ++i) {
    char expected[9];
    std::snprintf(expected, sizeof expected, "FFFFFF%02X", i);
    EXPECT_EQ(saved.Cell(StationColumn(0), InfiRow(i)), expected) << "INFI " << i << "\n" << cli.Output();
  }
}

TEST(WineCli, TheBusStoppedAndStartedAgainComesBackOnTheSamePort) {
  NEED_WINDOWS_PROGRAM(CliProgram());
  TProgramDirectory files;
  WriteStations(files);
  auto acknowledged = [](const TBusProcess& bus) { return bus.CountInOutput("<- AB AC") > 0; };
  auto waitFor = [](const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(50ms);
    return done();
  };
  const std::vector<std::string> busOptions{"--stations", "1", "--senders", "0", "--sender-interval", "200"};
  auto first = std::make_unique<TBusProcess>();
  first->Start(busOptions);
  MapPort(3, first->Path());
  TWineProcess cli(true);
  cli.Start(CliProgram(), {"--dir", WindowsPath(files.Path()), "--port", "COM3", "--timeout", "40"});
  ASSERT_TRUE(waitFor([&] { return acknowledged(*first); }, 20s)) << first->Output() << cli.Output();
  first->Stop();
  first.reset();
  std::this_thread::sleep_for(1500ms);
  TBusProcess second;
  second.Start(busOptions);
  MapPort(3, second.Path());
  // Tried again every second: the new bus's sender telegrams are acknowledged.
  EXPECT_TRUE(waitFor([&] { return acknowledged(second); }, 20s)) << second.Output() << cli.Output();
}

TEST(WineCli, ASecondOnTheSameDirectoryIsRefused) {
  NEED_WINDOWS_PROGRAM(CliProgram());
  TBusProcess bus;
  bus.Start({"--stations", "1"});
  MapPort(4, bus.Path());
  TProgramDirectory files;
  WriteStations(files);
  TWineProcess first(true);
  first.Start(CliProgram(), {"--dir", WindowsPath(files.Path()), "--port", "COM4", "--timeout", "30"});
  // The first holds the directory once its lock file is there.
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (!fs::exists(files.File("ardel.lock")) && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(fs::exists(files.File("ardel.lock"))) << first.Output();
  TWineProcess second(true);
  EXPECT_EQ(second.Run(CliProgram(), {"--dir", WindowsPath(files.Path()), "--port", "COM4", "--timeout", "2"}), 2)
      << second.Output();
}

}  // namespace
}  // namespace ardel

namespace ardel {
namespace {

std::string WindowProgram() { return WindowsBuild() + "/ardel.exe"; }

// All capture files of the run, one after the other.
std::string CaptureText(const TProgramDirectory& files) {
  std::string text;
  std::error_code error;
  if (!fs::is_directory(files.File("log"), error)) return text;
  for (const fs::directory_entry& entry : fs::directory_iterator(files.File("log"), error)) {
    if (entry.path().extension() == ".log") text += ReadWholeFile(entry.path().string());
  }
  return text;
}

// The window, offscreen under Wine on the bus: it acknowledges each sender telegram, and
// its capture file holds both the telegram and the acknowledgement. The window offers
// COM1 to COM4, which other tests here map; its [Ports] leads COM4 to COM5.
TEST(WineWindow, AcknowledgesTheBusSendersAndCapturesThem) {
  NEED_WINDOWS_PROGRAM(WindowProgram());
  TBusProcess bus;
  bus.Start({"--stations", "1", "--senders", "0", "--sender-interval", "200"});
  MapPort(5, bus.Path());
  TProgramDirectory files;
  WriteStations(files);
  WriteFileAtomically(files.ConfigFile(), "[Link]\r\nComport=4\r\n[Ports]\r\nCOM4=COM5\r\n[Log]\r\nCapture=1\r\n");
  TWineProcess window(true);
  window.Start(WindowProgram(), {"-platform", "offscreen", "--dir", WindowsPath(files.Path())});
  auto waitFor = [](const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(100ms);
    return done();
  };
  ASSERT_TRUE(waitFor([&] { return bus.CountInOutput("<- AB AC") >= 3; }, 40s)) << bus.Output() << window.Output();
  EXPECT_TRUE(waitFor([&] { return CountOf(CaptureText(files), "AB AC") >= 3; }, 20s))
      << CaptureText(files) << "\nthe bus said: " << bus.Output();
  const std::string capture = CaptureText(files);
  EXPECT_GE(CountOf(capture, "6B 05"), 1u) << capture;
}

// A second start of the window on the directory the first holds, as a double click does:
// it asks the first to come forward and ends with 0, and the first goes on serving its
// bus. Its [Ports] leads COM4 to COM6.
TEST(WineWindow, ASecondStartBringsTheFirstForwardAndEnds) {
  NEED_WINDOWS_PROGRAM(WindowProgram());
  TBusProcess bus;
  bus.Start({"--stations", "1", "--senders", "0", "--sender-interval", "200"});
  MapPort(6, bus.Path());
  TProgramDirectory files;
  WriteStations(files);
  WriteFileAtomically(files.ConfigFile(), "[Link]\r\nComport=4\r\n[Ports]\r\nCOM4=COM6\r\n");
  auto waitFor = [](const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(100ms);
    return done();
  };
  TWineProcess first(true);
  first.Start(WindowProgram(), {"-platform", "offscreen", "--dir", WindowsPath(files.Path())});
  // Acknowledging, the first runs its loop, and its beacon with it.
  ASSERT_TRUE(waitFor([&] { return bus.CountInOutput("<- AB AC") >= 1; }, 40s)) << bus.Output() << first.Output();
  TWineProcess second(true);
  EXPECT_EQ(second.Run(WindowProgram(), {"-platform", "offscreen", "--dir", WindowsPath(files.Path())}), 0)
      << second.Output();
  const std::size_t before = bus.CountInOutput("<- AB AC");
  EXPECT_TRUE(waitFor([&] { return bus.CountInOutput("<- AB AC") >= before + 3; }, 20s))
      << "the first window stopped: " << bus.Output() << first.Output();
}

}  // namespace
}  // namespace ardel
