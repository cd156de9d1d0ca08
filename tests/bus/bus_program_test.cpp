// The real ardel-bus program over its pseudo-terminal, as Ardel meets it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/receive_path.h"
#include "serial/com_port.h"
#include "serial/pty_fixture.h"
#include "link/telegram.h"
#include "util/text_file.h"

extern char** environ;

namespace ardel {
namespace {

using namespace std::chrono_literals;
using TSteady = std::chrono::steady_clock;

struct TTexts : TReceiveFramer::TSink {
  void OnGoodTelegram(const TFrame& frame) override { texts.push_back(FormatTelegramText(BodyOf(frame))); }
  void OnChecksumError(std::uint8_t, std::uint8_t) override {}
  std::vector<std::string> texts;
};

std::string Wire(const std::string& text) {
  const TWireTelegram w = EncodeTelegram(ParseCommandString(text).body);
  return std::string(reinterpret_cast<const char*>(w.data()), w.size());
}

// User plus system CPU time of a process, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream rest(all.substr(all.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

class BusProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/ardel-bus-run-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (const char* name : {"/link", "/out"}) unlink((dir_ + name).c_str());
    rmdir(dir_.c_str());
  }

  void Start(std::vector<std::string> args) {
    args.insert(args.begin(), {ARDEL_BUS_PATH, "--link-file", dir_ + "/link", "--duration", "60"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir_ + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(posix_spawn(&pid_, ARDEL_BUS_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const auto deadline = TSteady::now() + 10s;
    struct stat st {};
    while (stat((dir_ + "/link").c_str(), &st) != 0) {
      ASSERT_LT(TSteady::now(), deadline) << "no link file";
      std::this_thread::sleep_for(10ms);
    }
    const std::vector<std::string> lines = SplitLines(ReadWholeFile(dir_ + "/link"));
    ASSERT_EQ(lines.size(), 1u);
    path_ = lines[0];
  }

  int OpenLink() {
    const int fd = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path_;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIOFLUSH);
    return fd;
  }

  // Telegrams that arrive until `count` have come or five seconds have passed.
  std::vector<std::string> Read(int fd, std::size_t count) {
    TTexts sink;
    TReceiveFramer framer;
    const auto deadline = TSteady::now() + 5s;
    while (sink.texts.size() < count && TSteady::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) framer.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), sink);
    }
    return sink.texts;
  }

  int Stop() {
    kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = TSteady::now() + 10s;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (TSteady::now() > deadline) return -1;
      std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string dir_;
  std::string path_;
  pid_t pid_ = -1;
};

TEST_F(BusProgram, AnswersOverItsPseudoTerminalAcrossReopens) {
  Start({"--quiet"});
  for (int round = 0; round < 2; ++round) {
    const int fd = OpenLink();
    const std::string command = Wire("AB B0 00000000 FFFFFF80 00");
    ASSERT_EQ(write(fd, command.data(), command.size()), static_cast<ssize_t>(command.size()));
    EXPECT_EQ(Read(fd, 1), std::vector<std::string>{"8B B0 01000000 FFFFFF80 00"}) << "round " << round;
    close(fd);  // Ardel closes and opens the port again: the bus goes on
  }

  // With nobody on the far end, the bus waits without spinning.
  std::this_thread::sleep_for(100ms);
  const long before = CpuTicks(pid_);
  std::this_thread::sleep_for(1s);
  EXPECT_LT(CpuTicks(pid_) - before, 10) << "ticks of CPU time in one idle second";

  EXPECT_EQ(Stop(), 0);
  const std::vector<std::string> out = SplitLines(ReadWholeFile(dir_ + "/out"));
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out.front(), path_) << "the path comes first and alone";
  EXPECT_EQ(out.back().rfind("summary: received 2, answered 2,", 0), 0u) << out.back();
  struct stat st {};
  EXPECT_NE(stat((dir_ + "/link").c_str(), &st), 0) << "the link file goes with the bus";
}

TEST_F(BusProgram, ServesTheBusOverTcpToANetworkPortAcrossReconnects) {
  Start({"--quiet", "--listen", "127.0.0.1:0"});
  ASSERT_EQ(path_.rfind("socket://127.0.0.1:", 0), 0u) << path_;
  ASSERT_NE(path_, "socket://127.0.0.1:0") << "the port the system chose is named";
  for (int round = 0; round < 2; ++round) {
    testing::TTestLoop loop;
    TComPort port;
    port.Port = path_;
    port.ReceiveMode = rmRAW;
    port.SetWakeMainThread(loop.Wake());
    TTexts sink;
    TReceiveFramer framer;
    port.ReceiveCallBack = [&](const std::string& data) { framer.Feed(data, sink); };
    port.OpenPort();
    port.SendString(Wire("AB B0 00000000 FFFFFF80 00"));
    ASSERT_TRUE(loop.RunUntil([&] { return !sink.texts.empty(); }, 5s)) << "round " << round;
    EXPECT_EQ(sink.texts, std::vector<std::string>{"8B B0 01000000 FFFFFF80 00"}) << "round " << round;
    port.ClosePort();
  }
  EXPECT_EQ(Stop(), 0);
  const std::vector<std::string> out = SplitLines(ReadWholeFile(dir_ + "/out"));
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out.front(), path_);
  EXPECT_EQ(out.back().rfind("summary: received 2, answered 2,", 0), 0u) << out.back();
}

TEST_F(BusProgram, SendsSenderTelegramsAndLogsBothDirections) {
  Start({"--sender-interval", "200", "--senders", "2:5", "--ack-timeout", "1000"});
  const int fd = OpenLink();
  const std::vector<std::string> heard = Read(fd, 1);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].substr(0, 6), "6B 05 ");
  EXPECT_EQ(heard[0].substr(15, 8), "FFFFFE85") << "offset 5 of station 2's block";
  // Ardel's ACK: header AB, org AC, the rest as received.
  const std::string ack = "AB AC " + heard[0].substr(6);
  const std::string wire = Wire(ack);
  ASSERT_EQ(write(fd, wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
  std::this_thread::sleep_for(100ms);
  close(fd);
  EXPECT_EQ(Stop(), 0);
  const std::string out = ReadWholeFile(dir_ + "/out");
  EXPECT_NE(out.find(" -> " + heard[0]), std::string::npos) << out;
  EXPECT_NE(out.find(" <- " + ack), std::string::npos) << out;
  EXPECT_NE(out.find("sender FFFFFE85: ACK after"), std::string::npos) << out;
  EXPECT_NE(out.find("acks seen 1,"), std::string::npos) << out;
}

TEST_F(BusProgram, EndsByItselfAfterTheDuration) {
  std::vector<std::string> args = {ARDEL_BUS_PATH, "--duration", "0.2", "--quiet"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir_ + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_EQ(posix_spawn(&pid_, ARDEL_BUS_PATH, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  const auto deadline = TSteady::now() + 10s;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    ASSERT_LT(TSteady::now(), deadline) << "still running";
    std::this_thread::sleep_for(10ms);
  }
  pid_ = -1;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::vector<std::string> out = SplitLines(ReadWholeFile(dir_ + "/out"));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].rfind("/dev/pts/", 0), 0u) << out[0];
  EXPECT_EQ(out[1].rfind("summary: ", 0), 0u) << out[1];
}

}  // namespace
}  // namespace ardel
