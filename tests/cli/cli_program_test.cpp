// ardel-cli as a process against ardel-bus as a process, over a pseudo-terminal.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "stations/station_file.h"
#include "support/cli_process.h"
#include "support/processes.h"
#include "support/program_directory.h"
#include "util/directory_lock.h"
#include "util/text_file.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::CountOf;
using testing::Environment;
using testing::TCli;
using testing::TBusProcess;
using testing::TProgramDirectory;
using testing::WaitForExit;
using TSteady = std::chrono::steady_clock;
using testing::WriteStations;

TEST(CliAgainstTheBus, ReadInfiFillsTheDataFileAndSavesAsTheShutDownDoes) {
  TBusProcess bus;
  bus.Start({"--stations", "2"});
  TProgramDirectory files;
  WriteStations(files);
  TCli cli(files);
  cli.UseBus(bus);

  ASSERT_EQ(cli.Run({"read-infi", "0"}), 0) << cli.Said();
  TStationTable saved;
  LoadStationTable(saved, files.StationFile());
  // The bus's station 0 listens to station 1's block.
  for (int i = 0; i < kInfiCount; ++i) {
    char expected[9];
    std::snprintf(expected, sizeof expected, "FFFFFF%02X", i);
    EXPECT_EQ(saved.Cell(StationColumn(0), InfiRow(i)), expected) << "INFI " << i << "\n" << cli.Said();
  }
  EXPECT_EQ(saved.Cell(StationColumn(1), kSbiRow), "FFFFFF00");
  EXPECT_NE(ReadWholeFile(files.ConfigFile()).find("[Link]\nComport=1\n"), std::string::npos);
  EXPECT_EQ(CountOf(bus.Output(), "<- AB B4 00000000 FFFFFF80"), 16u) << bus.Output();
}

struct TSubcommandCase {
  const char* name;
  std::vector<std::string> busOptions;
  std::vector<std::string> arguments;
  int status;
  std::vector<std::string> inOutput;  // stdout
  const char* inErrors;               // stderr
};

TEST(CliAgainstTheBus, StationCommandsEndWhenAnsweredOrTimedOut) {
  const TSubcommandCase cases[] = {
      {"signal answered", {}, {"signal", "1", "flash"}, 0, {"AB C0 00000000 FFFFFF00 AA", "8B AC 00000000 FFFFFF00 AA"}, ""},
      {"signal to a silent station", {"--silent", "1"}, {"signal", "1", "on"}, 1,
       {"repeat it", "time out"}, "1 command to station 1 timed out"},
      {"base ID changed",
       {"--lrn", "0"},
       {"change-base-id", "0", "FF800000"},
       0,
       {"info: Station base ID change from FFFFFF80 to FF800000", "info:  ended with return Code: 00  (new ID base set)",
        "info:  -> Dont forget to build a new Station-Tab with new SBI..."},
       ""},
      {"base ID refused",
       {},
       {"change-base-id", "0", "FF800000"},
       0,
       {"info:  ended with return Code: F7  (Station not in LRN-Mode. New ID not set)"},
       ""},
  };
  for (const TSubcommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBusProcess bus;
    std::vector<std::string> busOptions{"--stations", "2"};
    busOptions.insert(busOptions.end(), c.busOptions.begin(), c.busOptions.end());
    bus.Start(busOptions);
    TProgramDirectory files;
    WriteStations(files);
    TCli cli(files);
    cli.UseBus(bus);
    EXPECT_EQ(cli.Run(c.arguments), c.status) << cli.Said();
    for (const std::string& part : c.inOutput) EXPECT_NE(cli.Out().find(part), std::string::npos) << part << "\n" << cli.Said();
    EXPECT_NE(cli.Err().find(c.inErrors), std::string::npos) << cli.Said();
  }
}

TEST(CliAgainstTheBus, ExpectEndsAtTheAnswerOrFailsWhenTimeRunsOut) {
  struct TCase {
    const char* name;
    std::vector<std::string> busOptions;
    int status;
  };
  const TCase cases[] = {{"answering", {}, 0}, {"silent", {"--silent", "0"}, 1}};
  constexpr double kTimeout = 1.0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBusProcess bus;
    std::vector<std::string> busOptions{"--stations", "1"};
    busOptions.insert(busOptions.end(), c.busOptions.begin(), c.busOptions.end());
    bus.Start(busOptions);
    TProgramDirectory files;
    WriteStations(files);
    TCli cli(files);
    cli.UseBus(bus);
    EXPECT_EQ(cli.Run({"--send", "AB B0 00000000 FFFFFF80 00   version", "--expect", "8B B0 * FFFFFF80 ??", "--expect",
                       "8B B0 01000000 *", "--timeout", "1"}),
              c.status)
        << cli.Said();
    if (c.status == 0) {
      EXPECT_LT(cli.Seconds(), kTimeout) << cli.Said();
      EXPECT_EQ(cli.Err(), "");
    } else {
      // The time-out, a tick and the start and end of a process.
      EXPECT_GE(cli.Seconds(), kTimeout);
      EXPECT_LT(cli.Seconds(), kTimeout + 0.1 + 1.0) << cli.Said();
      EXPECT_NE(cli.Err().find("not met: --expect \"8B B0 * FFFFFF80 ??\" (0 of 1 received)"), std::string::npos)
          << cli.Said();
      EXPECT_NE(cli.Err().find("not met: --expect \"8B B0 01000000 *\""), std::string::npos) << cli.Said();
    }
  }
}

TEST(CliAgainstTheBus, CommandsFromStandardInputAreSentRepeatedAndTimedOut) {
  TBusProcess bus;
  bus.Start({"--stations", "2", "--silent", "1"});
  TProgramDirectory files;
  WriteStations(files);
  TCli cli(files);
  cli.UseBus(bus);
  const std::string input =
      "AB B0 00000000 FFFFFF00 00   to the silent one\n"
      "\n"
      "AB C0 00000000 FFFFFF80 FF   signal on\r\n"
      "AB B0 00000000 FFFFFF80 00   without an end of line";
  // Without --expect the end of a file's input ends nothing: the time does, with 0.
  ASSERT_EQ(cli.Run({"--timeout", "1.5"}, input), 0) << cli.Said();
  const std::string out = cli.Out();
  EXPECT_EQ(CountOf(out, "AB B0 00000000 FFFFFF00 00   to the silent one"), 3u) << out;
  EXPECT_EQ(CountOf(out, "repeat it"), 2u) << out;
  EXPECT_EQ(CountOf(out, "time out"), 1u) << out;
  EXPECT_EQ(CountOf(out, "AB C0 00000000 FFFFFF80 FF   signal on\n"), 1u) << out;
  EXPECT_EQ(CountOf(out, "8B AC 00000000 FFFFFF80 FF"), 1u) << out;
  EXPECT_EQ(CountOf(out, "AB B0 00000000 FFFFFF80 00   without an end of line"), 1u) << out;
  // Sent in the order given: the time-out comes before the next command goes out.
  EXPECT_LT(out.find("time out"), out.find("signal on")) << out;
  EXPECT_EQ(CountOf(bus.Output(), "<- AB C0 00000000 FFFFFF80 FF"), 1u) << bus.Output();
}

TEST(CliAgainstTheBus, TheAckPolicyAnswersSenderTelegrams) {
  struct TCase {
    const char* policy;
    bool acknowledged;
  };
  for (const TCase& c : {TCase{"always", true}, TCase{"never", false}}) {
    SCOPED_TRACE(c.policy);
    TBusProcess bus;
    bus.Start({"--stations", "1", "--senders", "0", "--sender-interval", "100"});
    TProgramDirectory files;
    WriteStations(files);
    TCli cli(files);
    cli.UseBus(bus);
    ASSERT_EQ(cli.Run({"--ack", c.policy, "--expect", "6B 05 * FFFFFF80 *", "--count", "2", "--timeout", "3"}), 0)
        << cli.Said();
    EXPECT_EQ(CountOf(cli.Out(), "   AB AC ") > 0, c.acknowledged) << cli.Said();
  }
}

TEST(CliAgainstTheBus, JsonLinesParse) {
  TBusProcess bus;
  bus.Start({"--stations", "1"});
  TProgramDirectory files;
  WriteStations(files, "if   8B B0 *\nthen say version \"1\"\n");
  TCli cli(files);
  cli.UseBus(bus);
  ASSERT_EQ(cli.Run({"--json", "--send", "AB B0 00000000 FFFFFF80 00   \"q\" \\ \xC3\xA4", "--expect", "8B B0 *",
                     "--timeout", "3"}),
            0)
      << cli.Said();
  // A real parser reads every line.
  const std::string check = files.File("check.py");
  WriteFileAtomically(check, R"(import json, re, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding='utf-8')]
assert lines, 'no lines'
for l in lines:
    assert re.fullmatch(r'\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d{4}', l['time']), l
    assert l['kind'] in ('sent', 'received', 'error', 'repeat', 'raw', 'ok', 'trace', 'note', 'info', 'message'), l
sent = [l for l in lines if l['kind'] == 'sent' and l['org'] == 'B0']
assert len(sent) == 1 and sent[0]['text'].endswith('"q" \\ \u00e4'), sent
assert (sent[0]['header'], sent[0]['data'], sent[0]['id'], sent[0]['status']) == ('AB', '00000000', 'FFFFFF80', '00'), sent
got = [l for l in lines if l['kind'] == 'received']
assert got and (got[0]['header'], got[0]['org'], got[0]['data'], got[0]['id']) == ('8B', 'B0', '01000000', 'FFFFFF80'), got
said = [l for l in lines if l['kind'] == 'message']
assert len(said) == 1 and said[0]['text'].endswith('version "1"') and 'org' not in said[0], said
)");
  const std::string output = files.File("python.txt");
  const pid_t pid = testing::SpawnProcess({"/usr/bin/python3", check, files.File("out.txt")}, Environment(), output);
  EXPECT_EQ(WaitForExit(pid), 0) << ReadWholeFile(output) << cli.Said();
}

TEST(CliAgainstTheBus, SigtermSavesTheFiles) {
  TBusProcess bus;
  bus.Start({"--stations", "1"});
  TProgramDirectory files;
  WriteStations(files, "/ kept\n");
  TCli cli(files);
  cli.UseBus(bus);
  // The answer puts INFI 3 into the table, which only the shut-down writes.
  const pid_t pid = cli.Start({}, "AB B4 00000000 FFFFFF80 03\n");
  const auto end = TSteady::now() + 10s;
  while (cli.Out().find("8B B4") == std::string::npos && TSteady::now() < end) std::this_thread::sleep_for(20ms);
  ASSERT_NE(cli.Out().find("8B B4"), std::string::npos) << cli.Said();
  // Still running: its input has ended, but it is not a terminal.
  std::this_thread::sleep_for(200ms);
  ::kill(pid, SIGTERM);
  EXPECT_EQ(WaitForExit(pid), 0) << cli.Said();
  TStationTable saved;
  LoadStationTable(saved, files.StationFile());
  EXPECT_EQ(saved.Cell(StationColumn(0), InfiRow(3)), "FFFFFF03") << cli.Said();
  EXPECT_EQ(ReadWholeFile(files.RuleSetFile()), "/ kept\r\n");
  EXPECT_NE(ReadWholeFile(files.ConfigFile()).find("[Link]\nComport=1\n"), std::string::npos);
}

// A folder with only a rule set, as a new user makes one: the rules run, the data file
// is made at the end, and the run succeeds; the start says the file is missing and what
// becomes of it.
TEST(CliAgainstTheBus, AFirstStartRunsTheRulesAndMakesTheDataFile) {
  TBusProcess bus;
  bus.Start({"--stations", "1"});
  TProgramDirectory files;
  WriteFileAtomically(files.RuleSetFile(), "if   8B B0 *\r\nthen say first start");
  TCli cli(files);
  cli.UseBus(bus);
  ASSERT_EQ(cli.Run({"--send", "AB B0 00000000 FFFFFF80 00   version", "--expect", "8B B0 *", "--timeout", "3"}), 0)
      << cli.Said();
  EXPECT_EQ(CountOf(cli.Out(), "first start"), 1u) << cli.Said();
  EXPECT_NE(cli.Err().find(files.StationFile()), std::string::npos) << cli.Said();
  EXPECT_NE(cli.Err().find("written when Ardel closes"), std::string::npos) << cli.Said();
  TStationTable saved;
  LoadStationTable(saved, files.StationFile());
  EXPECT_EQ(saved.Cell(StationColumn(15), kHeadingRow), "F");
  EXPECT_EQ(ReadWholeFile(files.RuleSetFile()), "if   8B B0 *\r\nthen say first start");
  EXPECT_FALSE(std::filesystem::exists(files.RuleSetFile() + ".unsaved"));
}

TEST(CliWithoutTheBus, CannotRunEndsWithStatusTwoAndOneLine) {
  TProgramDirectory files;
  WriteStations(files);
  TDirectoryLock held;
  struct TCase {
    const char* name;
    std::vector<std::string> arguments;
    bool lock;
    const char* inErrors;
    std::size_t lines;
  };
  // The port's failure names a port given by its device once, on one line.
  const TCase cases[] = {
      {"bad policy", {"--ack", "sometimes"}, false, "--ack: 'sometimes' is not always, random, first or never", 2},
      {"bad station", {"signal", "G", "on"}, false, "'G' is not a station 0 to F", 2},
      {"no such port",
       {"--port", "/dev/ardel-no-such-device"},
       false,
       "TCOMPORT : cannot open /dev/ardel-no-such-device: No such file or directory\n",
       1},
      {"directory in use", {}, true, "is in use by another Ardel", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.lock) {
      ASSERT_TRUE(held.Acquire(files.Path()));
    }
    TCli cli(files);
    EXPECT_EQ(cli.Run(c.arguments), 2) << cli.Said();
    const std::string err = cli.Err();
    EXPECT_NE(err.find(c.inErrors), std::string::npos) << cli.Said();
    EXPECT_EQ(CountOf(err, "\n"), c.lines) << cli.Said();
    EXPECT_LE(CountOf(err, "/dev/ardel-no-such-device"), 1u) << cli.Said();
    // A carriage return would let a reason overwrite the first part on a terminal.
    EXPECT_EQ(err.find('\r'), std::string::npos) << cli.Said();
  }
}

// A capture that reaches the file-size limit fails a write; the program says so in a
// red line, keeps its link and still saves its files at the end.
TEST(CliAgainstTheBus, AFileSizeLimitCostsARedLineNotTheRun) {
  TBusProcess bus;
  bus.Start({"--stations", "1", "--quiet", "--sender-interval", "5"});
  TProgramDirectory files;
  WriteStations(files, "/ kept\n");
  TCli cli(files);
  cli.UseBus(bus);
  cli.LimitFileSize(64);
  const pid_t pid = cli.Start({});
  const auto end = TSteady::now() + 15s;
  while (cli.Out().find("cannot write the capture") == std::string::npos && TSteady::now() < end &&
         ::waitpid(pid, nullptr, WNOHANG) == 0) {
    std::this_thread::sleep_for(50ms);
  }
  const std::string out = cli.Out();
  const std::size_t red = out.find("cannot write the capture");
  ASSERT_NE(red, std::string::npos) << cli.Said();
  EXPECT_NE(out.find("File too large", red), std::string::npos) << cli.Said();
  // The link goes on after the failure.
  const std::size_t before = CountOf(cli.Out(), "6B 05");
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(CountOf(cli.Out(), "6B 05"), before) << cli.Said();
  ::kill(pid, SIGTERM);
  EXPECT_EQ(WaitForExit(pid), 0) << cli.Said();
  // Saved as the shut-down saves: the rule set in its own line ends.
  EXPECT_EQ(ReadWholeFile(files.RuleSetFile()), "/ kept\r\n");
  EXPECT_NE(ReadWholeFile(files.ConfigFile()).find("[Link]\nComport=1\n"), std::string::npos);
  // The capture ends with its last whole line.
  std::size_t captures = 0;
  for (const auto& entry : std::filesystem::directory_iterator(files.Path() + "log")) {
    const std::string text = ReadWholeFile(entry.path().string());
    if (text.empty()) continue;
    ++captures;
    EXPECT_EQ(text.back(), '\n') << entry.path();
  }
  EXPECT_GE(captures, 1u);
}

// A lock name that holds something else than a file refuses the start, naming it.
TEST(CliWithoutTheBus, ALockNameTakenBySomethingElseRefusesTheStart) {
  struct TCase {
    const char* name;
    bool fifo;
    const char* said;
  } const cases[] = {
      {"FIFO", true, "ardel.lock is a FIFO"},
      {"symbolic link", false, "ardel.lock is a symbolic link"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TProgramDirectory files;
    WriteStations(files);
    const std::string lock = files.Path() + TDirectoryLock::kFileName;
    if (c.fifo) {
      ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0);
    } else {
      std::filesystem::create_symlink(files.StationFile(), lock);
    }
    TCli cli(files);
    EXPECT_EQ(cli.Run({"--port", "/dev/ardel-no-such-device"}), 2) << cli.Said();
    const std::string err = cli.Err();
    EXPECT_NE(err.find(c.said), std::string::npos) << cli.Said();
    EXPECT_EQ(err.find("going on without the lock"), std::string::npos) << cli.Said();
    EXPECT_EQ(CountOf(err, "\n"), 1u) << cli.Said();
  }
}

}  // namespace
}  // namespace ardel
