// The program itself: its command line, and its files saved when a signal ends it.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "link/telegram.h"
#include "serial/pty_fixture.h"
#include "support/processes.h"
#include "support/program_directory.h"
#include "util/directory_lock.h"

extern char** environ;

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::TProgramDirectory;
using testing::TPty;

// Starts the program without a display; on Qt's offscreen platform if asked. Its output
// goes to the file.
pid_t Spawn(const std::vector<std::string>& arguments, bool offscreen, const std::string& output) {
  std::vector<std::string> environment;
  for (std::string& entry : testing::Environment()) {
    if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
        entry.rfind("QT_QPA_PLATFORM=", 0) == 0) {
      continue;
    }
    environment.push_back(std::move(entry));
  }
  if (offscreen) environment.emplace_back("QT_QPA_PLATFORM=offscreen");
  std::vector<std::string> argv{ARDEL_PROGRAM};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return testing::SpawnProcess(std::move(argv), std::move(environment), output);
}

std::optional<int> WaitForExit(pid_t pid) { return testing::WaitForExit(pid, 10s); }

TEST(Program, AnswersOnTheTerminal) {
  struct TCase {
    std::vector<std::string> arguments;
    bool offscreen;
    int exitCode;
    const char* output;
  };
  const TCase cases[] = {
      {{"--version"}, false, 0, "Ardel V0.1 (Build 13.10.07)\n"},
      {{"--help"}, false, 0, "--dir DIR"},
      {{"--dir", "/tmp", "--help"}, false, 0, "Usage: ardel"},
      {{"--bogus"}, true, 2, "unknown argument '--bogus'"},
      {{"--dir"}, true, 2, "--dir needs a directory"},
      {{"--help"}, false, 0, "--view FILE"},
      {{"--view"}, true, 2, "--view needs a capture file"},
      // Before any program file: the message names the capture, nothing else.
      {{"--view", "/nonexistent/ardel-1.log"}, true, 1, "ardel: cannot open /nonexistent/ardel-1.log"},
  };
  TProgramDirectory scratch;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    const std::string output = scratch.File("output.txt");
    const pid_t pid = Spawn(c.arguments, c.offscreen, output);
    EXPECT_EQ(WaitForExit(pid), c.exitCode);
    EXPECT_NE(ReadWholeFile(output).find(c.output), std::string::npos) << ReadWholeFile(output);
  }
}

// The program is up, its port open and its event loop running, once it acknowledges a
// telegram.
bool Acknowledges(TPty& pty) {
  // No echo from the line discipline before the program has opened the port.
  termios raw{};
  ::tcgetattr(pty.Slave(), &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(pty.Slave(), TCSANOW, &raw);
  // Sent again and again: opening the port drops what came before.
  const std::string telegram("\xA5\x5A\x8B\x05\x30\x00\x00\x00\x00\x00\x00\x01\x00\xC1", 14);
  std::string seen;
  const auto end = std::chrono::steady_clock::now() + 10s;
  for (int i = 0; seen.size() < 15 && std::chrono::steady_clock::now() < end; ++i) {
    if (i % 20 == 0) pty.Write(telegram);
    seen += pty.ReadAvailable();
    std::this_thread::sleep_for(10ms);
  }
  return seen.size() >= 15;
}

// Each signal runs the shut-down as closing the window does: all three files are written,
// also while the dialog of a failed start-up waits for its OK.
TEST(Program, SignalsSaveAllThreeFiles) {
  struct TCase {
    int signal;
    bool dataFiles;
  };
  const TCase cases[] = {{SIGTERM, true}, {SIGINT, true}, {SIGHUP, true}, {SIGTERM, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(::strsignal(c.signal) + std::string(c.dataFiles ? " with data files" : " without"));
    TProgramDirectory files;
    TPty pty;
    const std::string config = "; the bench\n[Ports]\nCOM1=" + pty.Path() + "\n";
    WriteFileAtomically(files.ConfigFile(), config);
    if (c.dataFiles) {
      // Line feeds only: loaded as they are, written back with CR LF.
      TStationTable table;
      table.WriteHeadings();
      table.SetCell(StationColumn(3), kSbiRow, "FF800180");
      std::string text = StationFileText(table);
      for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
      WriteFileAtomically(files.StationFile(), text);
      WriteFileAtomically(files.RuleSetFile(), "if   *\nthen say seen");
    }

    const std::string output = files.File("output.txt");
    const pid_t pid = Spawn({"--dir", files.Path()}, true, output);
    ASSERT_TRUE(Acknowledges(pty)) << ReadWholeFile(output);
    ASSERT_EQ(::kill(pid, c.signal), 0);
    EXPECT_EQ(WaitForExit(pid), 0) << ReadWholeFile(output);

    EXPECT_EQ(ReadWholeFile(files.ConfigFile()), config + "[Link]\nComport=1\n");
    TStationTable saved;
    LoadStationTable(saved, files.StationFile());
    EXPECT_NE(ReadWholeFile(files.StationFile()).find("\r\n"), std::string::npos);
    EXPECT_EQ(saved.Cell(StationColumn(15), kHeadingRow), "F");
    EXPECT_EQ(saved.Cell(StationColumn(3), kSbiRow), c.dataFiles ? "FF800180" : " ");
    EXPECT_EQ(ReadWholeFile(files.RuleSetFile()), c.dataFiles ? "if   *\r\nthen say seen" : "");
  }
}

// Every file of a directory with what an atomic write or a write in place changes.
std::map<std::string, std::string> Snapshot(const std::string& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    files[entry.path().filename().string()] = std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
                                              std::to_string(st.st_mtim.tv_sec) + "." +
                                              std::to_string(st.st_mtim.tv_nsec);
  }
  return files;
}

std::string LockHolder(const TProgramDirectory& files) {
  std::error_code error;
  const std::string path = files.File("ardel.lock");
  return std::filesystem::exists(path, error) ? ReadWholeFile(path) : std::string();
}

// One process owns a program directory: a second start brings the running window to the
// front, says so, ends with 0 and touches no file; the lock dies with its process, even
// by SIGKILL.
TEST(Program, SecondStartOnTheSameDirectoryBringsTheWindowForward) {
  TProgramDirectory files;
  TProgramDirectory scratch;
  TPty pty;
  // A start-up that got past the lock would write this file at once.
  WriteFileAtomically(files.ConfigFile(), "[Ports]\nCOM3=" + pty.Path() + "\n[Link]\nComport=3\n");
  files.WriteDataFiles("if   *\nthen say seen");

  const pid_t first = Spawn({"--dir", files.Path()}, true, scratch.File("first.txt"));
  ASSERT_TRUE(Acknowledges(pty)) << ReadWholeFile(scratch.File("first.txt"));
  EXPECT_EQ(LockHolder(files), std::to_string(first) + "\n");
  const auto before = Snapshot(files.Path());

  const pid_t second = Spawn({"--dir", files.Path()}, true, scratch.File("second.txt"));
  EXPECT_EQ(WaitForExit(second), 0);
  const std::string said = ReadWholeFile(scratch.File("second.txt"));
  EXPECT_EQ(said, "ardel: the program directory " + files.Path() + " is in use by process " + std::to_string(first) +
                      "; its window was brought to the front\n");
  EXPECT_EQ(Snapshot(files.Path()), before);

  ASSERT_EQ(::kill(first, SIGKILL), 0);
  EXPECT_EQ(WaitForExit(first), std::nullopt);
  const pid_t third = Spawn({"--dir", files.Path()}, true, scratch.File("third.txt"));
  ASSERT_TRUE(Acknowledges(pty)) << ReadWholeFile(scratch.File("third.txt"));
  EXPECT_EQ(LockHolder(files), std::to_string(third) + "\n");
  ASSERT_EQ(::kill(third, SIGTERM), 0);
  EXPECT_EQ(WaitForExit(third), 0) << ReadWholeFile(scratch.File("third.txt"));
}

// A holder without a window (ardel-cli, or any process that took the lock) cannot be
// brought forward: the second start refuses as before, names the holder and touches no
// file.
TEST(Program, ASecondStartBesideAHolderWithoutWindowIsRefused) {
  TProgramDirectory files;
  TProgramDirectory scratch;
  files.WriteDataFiles("if   *\nthen say seen");
  TDirectoryLock held;
  ASSERT_TRUE(held.Acquire(files.Path()));
  const auto before = Snapshot(files.Path());
  const pid_t second = Spawn({"--dir", files.Path()}, true, scratch.File("second.txt"));
  EXPECT_EQ(WaitForExit(second), 1);
  const std::string said = ReadWholeFile(scratch.File("second.txt"));
  EXPECT_NE(said.find("The program directory " + files.Path() + " is in use"), std::string::npos) << said;
  EXPECT_NE(said.find("(process " + std::to_string(::getpid()) + ")"), std::string::npos) << said;
  EXPECT_EQ(Snapshot(files.Path()), before);
}

// A shut-down after a signal that could not save everything says on the terminal where
// the work went, and ends with a failure.
TEST(Program, ASignalAfterARefusedSaveEndsWithStatus1) {
  TProgramDirectory files;
  TPty pty;
  WriteFileAtomically(files.ConfigFile(), "[Ports]\nCOM1=" + pty.Path() + "\n");
  WriteFileAtomically(files.StationFile(), "32\r\n17\r\n,0,1\r\n");  // short: not loaded
  WriteFileAtomically(files.RuleSetFile(), "if   *");
  const std::string output = files.File("output.txt");
  const pid_t pid = Spawn({"--dir", files.Path()}, true, output);
  ASSERT_TRUE(Acknowledges(pty)) << ReadWholeFile(output);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(WaitForExit(pid), 1) << ReadWholeFile(output);
  EXPECT_NE(ReadWholeFile(output).find(files.StationFile() + ".unsaved"), std::string::npos) << ReadWholeFile(output);
  EXPECT_EQ(ReadWholeFile(files.StationFile()), "32\r\n17\r\n,0,1\r\n");
  EXPECT_TRUE(std::filesystem::exists(files.RuleSetFile() + ".unsaved"));
}

}  // namespace
}  // namespace ardel
