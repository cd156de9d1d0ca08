#pragma once
// Programs run as processes of their own, their output in files: the program itself
// and, where the test program knows where it is, the simulated bus.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "util/text_file.h"

extern char** environ;

namespace ardel::testing {

using namespace std::chrono_literals;

// Starts a program with standard input from /dev/null and both outputs into a file.
inline pid_t SpawnProcess(std::vector<std::string> argv, std::vector<std::string> environment,
                          const std::string& output) {
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
  };
  std::vector<char*> argp = pointers(argv);
  std::vector<char*> envp = pointers(environment);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  // Signals that the test program blocks must reach the child.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, argp[0], &actions, &attributes, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
  return pid;
}

inline std::vector<std::string> Environment() {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  return environment;
}

// The exit code; nothing when the process did not end in time (it is then killed) or
// ended by a signal.
inline std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds limit = 15s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(10ms);
  }
  if (!WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

inline std::size_t CountOf(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

#ifdef ARDEL_BUS_PATH
// ardel-bus on a pseudo-terminal of its own; killed at the end unless stopped before.
class TBusProcess {
 public:
  TBusProcess() {
    char pattern[] = "/tmp/ardel-e2e-bus-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    directory_ = pattern;
  }
  ~TBusProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(directory_);
  }
  TBusProcess(const TBusProcess&) = delete;
  TBusProcess& operator=(const TBusProcess&) = delete;

  // Runs the bus with these options and waits for the path it prints first.
  void Start(std::vector<std::string> options) {
    std::vector<std::string> argv{ARDEL_BUS_PATH, "--duration", "120"};
    argv.insert(argv.end(), options.begin(), options.end());
    pid_ = SpawnProcess(argv, Environment(), OutputFile());
    const auto end = std::chrono::steady_clock::now() + 10s;
    for (;;) {
      const std::string out = Output();
      if (const std::size_t line = out.find('\n'); line != std::string::npos) {
        path_ = out.substr(0, line);
        if (path_.rfind("/dev/", 0) != 0) throw std::runtime_error("ardel-bus said: " + out);
        return;
      }
      if (std::chrono::steady_clock::now() > end) throw std::runtime_error("ardel-bus printed no path: " + out);
      std::this_thread::sleep_for(10ms);
    }
  }

  // The end that Ardel opens.
  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return directory_ + "/" + std::string(name); }
  std::string OutputFile() const { return File("bus.out"); }
  // Everything the bus has printed so far.
  std::string Output() const {
    std::error_code error;
    return std::filesystem::exists(OutputFile(), error) ? ReadWholeFile(OutputFile()) : std::string();
  }
  std::size_t CountInOutput(std::string_view part) const { return CountOf(Output(), part); }

  // Stops the bus (SIGSTOP) at a moment it waits in poll(): then every telegram it has
  // written is printed, and it writes no more. False when no such moment came.
  bool FreezeWhileIdle() {
    for (int attempt = 0; attempt < 500; ++attempt) {
      ::kill(pid_, SIGSTOP);
      std::string state;
      for (int i = 0; i < 1000 && state.find(") T") == std::string::npos; ++i) {
        std::this_thread::sleep_for(1ms);
        state = ProcFile("stat");
      }
      const std::string call = ProcFile("syscall");
      const long number = std::strtol(call.c_str(), nullptr, 10);
#ifdef SYS_poll
      if (number == SYS_poll) return true;
#endif
      if (number == SYS_ppoll) return true;
      ::kill(pid_, SIGCONT);
      std::this_thread::sleep_for(3ms);
    }
    return false;
  }

  // SIGTERM; the exit code once the bus has printed its summary.
  std::optional<int> Stop() {
    ::kill(pid_, SIGTERM);
    const std::optional<int> code = WaitForExit(pid_);
    pid_ = -1;
    return code;
  }
  // The summary's text after "summary: ", once stopped.
  std::string Summary() const {
    const std::string out = Output();
    const std::size_t at = out.rfind("summary: ");
    if (at == std::string::npos) return {};
    const std::size_t end = out.find('\n', at);
    return out.substr(at + 9, end == std::string::npos ? std::string::npos : end - at - 9);
  }
  // A count from the summary, e.g. "repeats"; -1 when it is not there.
  long SummaryCount(const std::string& name) const {
    const std::string summary = ", " + Summary();
    const std::size_t at = summary.find(", " + name + " ");
    if (at == std::string::npos) return -1;
    return std::stol(summary.substr(at + name.size() + 3));
  }

 private:
  // A file of the bus's /proc directory, which tells no size before it is read.
  std::string ProcFile(const std::string& name) const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string directory_;
  std::string path_;
  pid_t pid_ = -1;
};
#endif  // ARDEL_BUS_PATH

}  // namespace ardel::testing
