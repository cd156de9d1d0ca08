// ardel-cli on a network port whose server floods it with telegrams, while one command a
// second arrives on its input: how many of the commands go out, how late, and how much
// memory the program holds at the end.
//
//   flood_net_cli [ardel-cli=next to this program] [seconds=20] [flood=1]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/telegram.h"

namespace {

using TSteady = std::chrono::steady_clock;

long ResidentKb(pid_t pid) {
  long size = 0, resident = 0;
  const std::string path = "/proc/" + std::to_string(pid) + "/statm";
  if (FILE* f = std::fopen(path.c_str(), "r")) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE) / 1024;
}

ardel::TTelegramBody Command(int n) {
  return ardel::TTelegramBody{0xAB, 0xB0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x80, static_cast<std::uint8_t>(n)};
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = std::filesystem::absolute(argv[0]).parent_path().string();
  const std::string cli = argc > 1 ? argv[1] : self + "/ardel-cli";
  const int seconds = std::clamp(argc > 2 ? std::atoi(argv[2]) : 20, 1, 255);
  const bool flooding = argc > 3 ? std::atoi(argv[3]) != 0 : true;
  ::signal(SIGPIPE, SIG_IGN);

  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(server, 1) != 0 || ::getsockname(server, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("listen");
    return 2;
  }
  const std::string port = "socket://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

  char pattern[] = "/tmp/ardel-flood-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  int input[2];
  if (::pipe2(input, O_CLOEXEC) != 0) return 2;
  std::vector<std::string> args{cli, "--dir", dir, "--port", port};
  if (const char* ack = std::getenv("FLOOD_ACK")) args.insert(args.end(), {"--ack", ack});
  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  const char* out = std::getenv("FLOOD_OUT");
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out != nullptr ? out : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  if (posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", cli.c_str());
    return 2;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);

  const int link = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
  if (link < 0) return 2;
  std::atomic<bool> running{true};
  std::atomic<unsigned long long> flooded{0};
  // The flood: sender telegrams back to back, as fast as the socket takes them.
  std::thread flood([&] {
    std::vector<std::uint8_t> block;
    for (int i = 0; i < 4096; ++i) {
      const ardel::TWireTelegram wire =
          ardel::EncodeTelegram(ardel::TTelegramBody{0x6B, 0x05, 0x70, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x00, 0x30});
      block.insert(block.end(), wire.begin(), wire.end());
    }
    while (running && flooding) {
      const ssize_t n = ::send(link, block.data(), block.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      flooded += static_cast<unsigned long long>(n) / ardel::kWireSize;
    }
  });
  // What ardel-cli sends: the first arrival of each command.
  std::mutex mutex;
  std::vector<TSteady::time_point> arrived(256);
  std::thread reader([&] {
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    for (;;) {
      const ssize_t n = ::recv(link, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
      for (std::size_t at = 0; at + ardel::kWireSize <= bytes.size(); ++at) {
        if (bytes[at] != ardel::kSync1 || bytes[at + 1] != ardel::kSync2 || bytes[at + 2] != 0xAB || bytes[at + 3] != 0xB0) continue;
        const int number = bytes[at + 12];
        const std::lock_guard<std::mutex> lock(mutex);
        if (arrived[static_cast<std::size_t>(number)] == TSteady::time_point{}) arrived[static_cast<std::size_t>(number)] = TSteady::now();
      }
      if (bytes.size() > ardel::kWireSize) bytes.erase(bytes.begin(), bytes.end() - ardel::kWireSize);
    }
  });

  std::vector<TSteady::time_point> written;
  const long startKb = ResidentKb(pid);
  long peakKb = startKb;
  const auto start = TSteady::now();
  for (int i = 0; i < seconds; ++i) {
    std::this_thread::sleep_until(start + std::chrono::seconds(i));
    const std::string line = ardel::FormatTelegramText(Command(i)) + "\n";
    written.push_back(TSteady::now());
    if (::write(input[1], line.data(), line.size()) < 0) break;
    peakKb = std::max(peakKb, ResidentKb(pid));
  }
  std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
  const long endKb = ResidentKb(pid);

  int wentOut = 0;
  double worst = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    for (std::size_t i = 0; i < written.size(); ++i) {
      if (arrived[i] == TSteady::time_point{}) continue;
      ++wentOut;
      worst = std::max(worst, std::chrono::duration<double>(arrived[i] - written[i]).count());
    }
  }
  running = false;
  ::close(input[1]);
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::shutdown(link, SHUT_RDWR);
  flood.join();
  reader.join();
  ::close(link);
  ::close(server);
  std::filesystem::remove_all(dir);

  std::printf("seconds:                      %d\n", seconds);
  std::printf("telegrams flooded:            %llu (%.0f per second)\n", flooded.load(),
              static_cast<double>(flooded.load()) / seconds);
  std::printf("commands written:             %zu\n", written.size());
  std::printf("commands that went out:       %d\n", wentOut);
  std::printf("latest first send:            %.3f s after its line\n", worst);
  std::printf("resident memory of ardel-cli: %ld kB at the start, %ld kB peak, %ld kB at the end\n", startKb,
              peakKb, endKb);
  std::printf("exit status:                  %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return wentOut == static_cast<int>(written.size()) ? 0 : 1;
}
