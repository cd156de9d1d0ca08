#pragma once
// ardel-cli as a process of its own in a program directory, its input, output and
// errors in files; and the station table that the simulated bus has by default.

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "stations/station_file.h"
#include "stations/station_table.h"
#include "support/processes.h"
#include "support/program_directory.h"
#include "util/text_file.h"

namespace ardel::testing {

using TSteady = std::chrono::steady_clock;

// ardel-cli in a program directory of its own, its input, output and errors in files.
class TCli {
 public:
  explicit TCli(const TProgramDirectory& files) : files_(files) {}

  // Points COM1 of the configuration file at the bus.
  void UseBus(const TBusProcess& bus) {
    WriteFileAtomically(files_.ConfigFile(), "[Ports]\nCOM1=" + bus.Path() + "\n");
  }

  // Starts it through a shell that first sets the file-size limit, in kilobytes.
  void LimitFileSize(int kilobytes) { fileLimit_ = kilobytes; }

  pid_t Start(std::vector<std::string> arguments, const std::string& input = "") {
    WriteFileAtomically(files_.File("in.txt"), input);
    std::vector<std::string> argv{ARDEL_CLI_PATH, "--dir", files_.Path()};
    if (fileLimit_ > 0) {
      // bash counts the limit in kilobytes. The output goes through a pipe to a cat that
      // has no limit, so only the capture meets it.
      argv.insert(argv.begin(), {"/bin/bash", "-c",
                                 "exec > >(exec cat); ulimit -f " + std::to_string(fileLimit_) + " && exec \"$@\"",
                                 "bash"});
    }
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<std::string> environment = Environment();
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, files_.File("in.txt").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, files_.File("out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, files_.File("err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start ardel-cli");
    started_ = TSteady::now();
    return pid;
  }

  // Runs to its end; the exit status, nothing when it did not end by itself.
  std::optional<int> Run(std::vector<std::string> arguments, const std::string& input = "") {
    const std::optional<int> status = WaitForExit(Start(std::move(arguments), input), 20s);
    seconds_ = std::chrono::duration<double>(TSteady::now() - started_).count();
    return status;
  }

  std::string Out() const { return ReadWholeFile(files_.File("out.txt")); }
  std::string Err() const { return ReadWholeFile(files_.File("err.txt")); }
  std::string Said() const { return "stdout:\n" + Out() + "stderr:\n" + Err(); }
  double Seconds() const { return seconds_; }

 private:
  const TProgramDirectory& files_;
  TSteady::time_point started_;
  double seconds_ = 0;
  int fileLimit_ = 0;
};

// Station 0 (FFFFFF80) and station 1 (FFFFFF00) in the table as the bus has them.
inline void WriteStations(const TProgramDirectory& files, std::string_view rules = "") {
  TStationTable table;
  table.WriteHeadings();
  table.SetCell(StationColumn(0), kSbiRow, "FFFFFF80");
  table.SetCell(StationColumn(1), kSbiRow, "FFFFFF00");
  WriteFileAtomically(files.StationFile(), StationFileText(table));
  WriteFileAtomically(files.RuleSetFile(), rules);
}

}  // namespace ardel::testing
