// The program as installed, against the bus: a run that a signal ends, and its files.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/processes.h"
#include "stations/station_file.h"
#include "support/program_directory.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::Environment;
using testing::SpawnProcess;
using testing::TBusProcess;
using testing::TProgramDirectory;
using testing::WaitForExit;

// Without a display, on Qt's offscreen platform.
std::vector<std::string> OffscreenEnvironment() {
  std::vector<std::string> environment;
  for (std::string& entry : Environment()) {
    if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
        entry.rfind("QT_QPA_PLATFORM=", 0) == 0) {
      continue;
    }
    environment.push_back(std::move(entry));
  }
  environment.emplace_back("QT_QPA_PLATFORM=offscreen");
  return environment;
}

template <typename F>
bool WaitUntil(F done, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// A sender's press makes a rule read an input filter entry; the answer makes another
// rule ask for the version, so once the bus hears that request the program has stored
// the entry. A signal then ends the program, which writes all three files.
TEST(ProgramAgainstTheBus, RunEndedBySigtermLeavesItsFilesWhole) {
  TBusProcess bus;
  bus.Start({"--stations", "2", "--senders", "0:3", "--sender-interval", "250", "--ack-timeout", "2000"});
  TProgramDirectory files;
  const std::string config = "; the bench\n[Ports]\nCOM1=" + bus.Path() + "\n";
  WriteFileAtomically(files.ConfigFile(), config);
  TStationTable table;
  table.WriteHeadings();
  table.SetCell(StationColumn(0), kSbiRow, "FFFFFF80");
  table.SetCell(StationColumn(1), kSbiRow, "FFFFFF00");
  table.SetCell(StationColumn(1), InfiRow(9), "FFFFFF85");
  WriteFileAtomically(files.StationFile(), StationFileText(table));
  TStationTable expected;
  LoadStationTable(expected, files.StationFile());
  // Station 0 of the bus listens to station 1's block.
  expected.SetCell(StationColumn(0), InfiRow(3), "FFFFFF03");
  const std::string rules =
      "/ the bench\n"
      "if   6B 05 ?0000000 FFFFFF83 10\n"
      "then AB B4 00000000 FFFFFF80 03   read INFI 3\n"
      "if   8B B4 * FFFFFF80 03\n"
      "then AB B0 00000000 FFFFFF80 00   version\n"
      "then say entry 3 read";
  WriteFileAtomically(files.RuleSetFile(), rules);

  const std::string output = files.File("output.txt");
  const pid_t pid = SpawnProcess({ARDEL_PROGRAM, "--dir", files.Path()}, OffscreenEnvironment(), output);
  const bool chainDone = WaitUntil([&] { return bus.CountInOutput("<- AB B0 00000000 FFFFFF80 00") > 0; });
  siginfo_t info{};
  ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
  const bool running = info.si_pid == 0;  // left to be reaped below
  ::kill(pid, SIGTERM);
  EXPECT_EQ(WaitForExit(pid), 0) << ReadWholeFile(output);
  ASSERT_TRUE(running) << "ended before the signal: " << ReadWholeFile(output);
  ASSERT_TRUE(chainDone) << "the program said: " << ReadWholeFile(output) << "\nthe bus said: " << bus.Output();
  EXPECT_GE(bus.CountInOutput(": ACK after 1st transmission"), 1u) << bus.Output();

  EXPECT_EQ(ReadWholeFile(files.ConfigFile()), config + "[Link]\nComport=1\n");
  TStationTable saved;
  LoadStationTable(saved, files.StationFile());
  ASSERT_EQ(saved.RowCount(), expected.RowCount());
  ASSERT_EQ(saved.ColumnCount(), expected.ColumnCount());
  for (int row = 0; row < expected.RowCount(); ++row) {
    for (int column = 0; column < expected.ColumnCount(); ++column) {
      EXPECT_EQ(saved.Cell(column, row), expected.Cell(column, row)) << "column " << column << ", row " << row;
    }
  }
  std::string crlf = rules;
  for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2) crlf.insert(at, "\r");
  EXPECT_EQ(ReadWholeFile(files.RuleSetFile()), crlf);
  EXPECT_EQ(bus.Stop(), 0);
}

}  // namespace
}  // namespace ardel
