// How long `ardel-cli --stats-of` takes for a large capture: makes a capture file of the
// size asked (commands, answers, repetitions, time-outs, sender telegrams with their ACKs,
// checksum errors; a line a millisecond), runs ardel-cli on it a few times and prints the
// times. The file is read from the page cache, as right after a run wrote it.
//
//   stats_of_cli [ardel-cli=src/cli/ardel-cli beside this program] [megabytes=1024] [folder=/tmp]

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct TWriter {
  std::FILE* file;
  std::int64_t ms;  // since the epoch
  std::int64_t second = -1;
  char stamp[32] = {};
  char clock[32] = {};
  std::uint64_t bytes = 0;

  void Line(const char* kind, char letter, const char* telegram, const char* comment) {
    if (ms / 1000 != second) {
      second = ms / 1000;
      const std::time_t t = static_cast<std::time_t>(second);
      std::tm local{};
      localtime_r(&t, &local);
      std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S.", &local);
      std::strftime(clock, sizeof clock, "%d.%m.%Y %H:%M:%S", &local);
    }
    const int n = std::fprintf(file, "%s%03d\t%s\t%c %s   %s   %s\n", stamp, static_cast<int>(ms % 1000), kind, letter,
                               clock, telegram, comment);
    bytes += static_cast<std::uint64_t>(n);
    ++ms;
  }
  // A line of the tick's own: its letter and stamp, then its text.
  void Status(const char* kind, char letter, const char* text) {
    const int n = std::fprintf(file, "%s%03d\t%s\t%c %s%s\n", stamp, static_cast<int>(ms % 1000), kind, letter, clock,
                               text);
    bytes += static_cast<std::uint64_t>(n);
    ++ms;
  }
};

void WriteCapture(const std::string& path, std::uint64_t bytes) {
  TWriter w{std::fopen(path.c_str(), "w"), 1796810400000};
  if (w.file == nullptr) {
    std::perror(path.c_str());
    std::exit(2);
  }
  static char buffer[1 << 20];
  std::setvbuf(w.file, buffer, _IOFBF, sizeof buffer);
  char sender[32], ack[32];
  for (std::uint64_t round = 0; w.bytes < bytes; ++round) {
    // A command answered at once, and a sender telegram with its ACK.
    w.Line("tx", ' ', "AB B0 00000000 FFFFFF80 00", "get SW Version of Station with default ID");
    w.Line("rx", ' ', "8B B0 01000000 FFFFFF80 00", "");
    std::snprintf(sender, sizeof sender, "6B 05 70000000 FFFFFF%02X 30", static_cast<unsigned>(0x10 + round % 64));
    std::snprintf(ack, sizeof ack, "AB AC 70000000 FFFFFF%02X 30", static_cast<unsigned>(0x10 + round % 64));
    w.Line("rx", ' ', sender, "");
    w.Line("tx", ' ', ack, "");
    if (round % 8 == 0) {
      // A silent station: three transmissions and the time-out.
      const char* blanks = "                                      ";  // 38
      const std::string repeat = std::string(blanks) + "repeat it";
      const std::string timeOut = std::string(blanks) + "time out";
      w.Line("tx", ' ', "AB B0 00000000 FFFFFE80 00", "");
      w.Status("repeat", 'W', repeat.c_str());
      w.Line("tx", ' ', "AB B0 00000000 FFFFFE80 00", "");
      w.Status("repeat", 'W', repeat.c_str());
      w.Line("tx", ' ', "AB B0 00000000 FFFFFE80 00", "");
      w.Status("error", 'E', timeOut.c_str());
    }
    if (round % 16 == 0) w.Line("error", 'E', "00 00 00000000 00000000 00", "cksum error. sent:12 <-> calc:34]");
  }
  std::fclose(w.file);
}

int Run(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::vector<std::string> copy = arguments;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = std::filesystem::absolute(argv[0]).parent_path().string();
  const std::string cli = argc > 1 ? argv[1] : self + "/src/cli/ardel-cli";
  const std::uint64_t megabytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
  const std::string folder = argc > 3 ? argv[3] : "/tmp";
  const std::string path = folder + "/stats-of-" + std::to_string(::getpid()) + ".log";

  WriteCapture(path, megabytes << 20);
  const auto size = std::filesystem::file_size(path);
  std::printf("capture: %s, %.0f MB\n", path.c_str(), static_cast<double>(size) / (1 << 20));
  std::vector<double> seconds;
  for (int run = 0; run < 4; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const int status = Run({cli, "--stats-of", path, "--json"});
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (status != 0) {
      std::printf("ardel-cli ended with status %d\n", status);
      std::filesystem::remove(path);
      return 1;
    }
  }
  std::filesystem::remove(path);
  // The first run may still wait for the disk; the others read the page cache.
  std::printf("ardel-cli --stats-of: first %.2f s", seconds[0]);
  std::sort(seconds.begin() + 1, seconds.end());
  std::printf(", then best %.2f s, median %.2f s (%.2f GB/s)\n", seconds[1], seconds[2],
              static_cast<double>(size) / seconds[2] / 1e9);
  return 0;
}
