// ardel-cli's bus overview against ardel-bus as a process on a pseudo-terminal: with
// noise, a sender and a silent station, the live overview says what the bus printed, and
// the overview of the run's capture file says what the live one said.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_process.h"
#include "support/processes.h"
#include "support/program_directory.h"
#include "util/text_file.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::TBusProcess;
using testing::TCli;
using testing::TProgramDirectory;
using testing::WaitForExit;
namespace fs = std::filesystem;

// The overview's JSON as ardel-cli writes it: enough of a reader to take out one ID's
// object and one named value.
class TStats {
 public:
  explicit TStats(std::string json) : json_(std::move(json)) {}
  bool Empty() const { return json_.empty(); }
  const std::string& Text() const { return json_; }

  // The link's object, up to the rates.
  std::string Link() const {
    const std::size_t at = json_.find("\"link\": {");
    return at == std::string::npos ? std::string() : json_.substr(at, json_.find("\"rates\"", at) - at);
  }
  // The object of one ID; empty when it has none.
  std::string Id(const std::string& id) const {
    const std::size_t at = json_.find("{\"id\": \"" + id + "\"");
    if (at == std::string::npos) return {};
    const std::size_t next = json_.find("{\"id\": ", at + 1);
    return json_.substr(at, next == std::string::npos ? std::string::npos : next - at);
  }
  // A number named in a part; nothing for null or a missing name.
  static std::optional<double> Number(const std::string& part, const std::string& name) {
    const std::size_t at = part.find("\"" + name + "\": ");
    if (at == std::string::npos) return std::nullopt;
    const std::string value = part.substr(at + name.size() + 4, 24);
    if (value.rfind("null", 0) == 0) return std::nullopt;
    return std::stod(value);
  }
  static std::string Text(const std::string& part, const std::string& name) {
    const std::size_t at = part.find("\"" + name + "\": \"");
    if (at == std::string::npos) return {};
    const std::size_t from = at + name.size() + 5;
    return part.substr(from, part.find('"', from) - from);
  }
  std::optional<double> Of(const std::string& id, const std::string& name) const { return Number(Id(id), name); }

 private:
  std::string json_;
};

// The last overview among the output's lines.
TStats LastStats(const std::string& out) {
  std::istringstream lines(out);
  std::string line, last;
  while (std::getline(lines, line)) {
    if (line.rfind("{\"kind\": \"stats\"", 0) == 0) last = line;
  }
  return TStats(last);
}

// Milliseconds of the day of a capture time "2026-12-09T10:00:00.123".
double DayMs(const std::string& time) {
  if (time.size() != 23) return -1e9;
  return ((std::stoi(time.substr(11, 2)) * 60 + std::stoi(time.substr(14, 2))) * 60 + std::stoi(time.substr(17, 2))) *
             1000.0 +
         std::stoi(time.substr(20, 3));
}

// The bus's lines of a mark ("->" sent, "<-" received) per ID of the telegram text that
// follows the mark, ACKs (AB AC) apart.
struct TBusCounts {
  std::map<std::string, int> sent, commands, acks;
  std::map<std::string, int> wrongChecksum;  // noise telegrams with a wrong checksum
  // The most that the bus took from a command's reception to its answer.
  double longestAnswerMs = 0;
};

// Milliseconds of the day of the bus's line stamp "17:03:02.781".
double BusMs(const std::string& line) {
  if (line.size() < 12 || line[2] != ':' || line[8] != '.') return -1;
  return ((std::stoi(line.substr(0, 2)) * 60 + std::stoi(line.substr(3, 2))) * 60 + std::stoi(line.substr(6, 2))) *
             1000.0 +
         std::stoi(line.substr(9, 3));
}

TBusCounts CountBusLines(const std::string& output) {
  TBusCounts counts;
  std::istringstream lines(output);
  std::string line;
  std::map<std::string, double> commandAt;
  while (std::getline(lines, line)) {
    for (const char* mark : {" -> ", " <- "}) {
      const std::size_t at = line.find(mark);
      if (at == std::string::npos || line.size() < at + 4 + 26) continue;
      const std::string telegram = line.substr(at + 4, 26);
      const std::string id = telegram.substr(15, 8);
      if (mark[1] == '-') {
        ++counts.sent[id];
        if (const auto command = commandAt.find(id); command != commandAt.end()) {
          counts.longestAnswerMs = std::max(counts.longestAnswerMs, BusMs(line) - command->second);
          commandAt.erase(command);
        }
      } else if (telegram.rfind("AB AC", 0) == 0) {
        ++counts.acks[id];
      } else {
        ++counts.commands[id];
        commandAt[id] = BusMs(line);
      }
    }
    if (const std::size_t at = line.find(" !! noise: telegram "); at != std::string::npos &&
                                                                   line.find(" with checksum ") != std::string::npos) {
      ++counts.wrongChecksum[line.substr(at + 20 + 15, 8)];
    }
  }
  return counts;
}

constexpr int kAnswerDelayMs = 40;
const std::string kStation0 = "FFFFFF80", kStation1 = "FFFFFF00", kSilent = "FFFFFE80", kSender = "FFFFFF10";

TEST(CliStatsAgainstTheBus, TheOverviewSaysWhatTheBusPrintedAndTheCaptureSaysTheSame) {
  TBusProcess bus;
  bus.Start({"--stations", "3", "--silent", "2", "--senders", "1:10", "--sender-interval", "150", "--noise-rate", "3",
             "--answer-delay", std::to_string(kAnswerDelayMs), "--seed", "11"});
  TProgramDirectory files;
  {
    TStationTable table;
    table.WriteHeadings();
    table.SetCell(StationColumn(0), kSbiRow, kStation0);
    table.SetCell(StationColumn(1), kSbiRow, kStation1);
    table.SetCell(StationColumn(2), kSbiRow, kSilent);
    WriteFileAtomically(files.StationFile(), StationFileText(table));
    WriteFileAtomically(files.RuleSetFile(), "");
  }
  TCli cli(files);
  cli.UseBus(bus);
  std::vector<std::string> arguments{"--stats", "0.5", "--json"};
  for (int i = 0; i < 4; ++i) arguments.insert(arguments.end(), {"--send", "AB B0 00000000 " + kStation0 + " 00"});
  for (int i = 0; i < 2; ++i) arguments.insert(arguments.end(), {"--send", "AB B4 00000000 " + kStation1 + " 0" + std::to_string(i)});
  for (int i = 0; i < 3; ++i) arguments.insert(arguments.end(), {"--send", "AB B0 00000000 " + kSilent + " 00"});
  const pid_t pid = cli.Start(arguments);

  // Until every command has ended, and a few sender telegrams and noise after that.
  const auto end = std::chrono::steady_clock::now() + 30s;
  for (;;) {
    const TStats stats = LastStats(cli.Out());
    if (stats.Of(kStation0, "completed") == 4.0 && stats.Of(kStation1, "completed") == 2.0 &&
        stats.Of(kSilent, "timeouts") == 3.0) {
      break;
    }
    ASSERT_LT(std::chrono::steady_clock::now(), end) << cli.Said();
    std::this_thread::sleep_for(50ms);
  }
  std::this_thread::sleep_for(1s);
  // Frozen between its telegrams, the bus has printed each one it wrote; ardel-cli takes
  // in the last ones before it ends.
  ASSERT_TRUE(bus.FreezeWhileIdle());
  std::this_thread::sleep_for(700ms);
  const std::string busOutput = bus.Output();
  ::kill(pid, SIGTERM);
  ASSERT_EQ(WaitForExit(pid, 20s), 0) << cli.Said();
  const TStats live = LastStats(cli.Out());
  ASSERT_FALSE(live.Empty()) << cli.Said();

  // The counts per ID are what the bus printed.
  const TBusCounts bus_ = CountBusLines(busOutput);
  struct {
    std::string id;
    int station;
    int offset;
  } ids[] = {{kStation0, 0, 0}, {kStation1, 1, 0}, {kSilent, 2, 0}, {kSender, 1, 0x10}};
  for (const auto& c : ids) {
    SCOPED_TRACE(c.id);
    const auto count = [](const std::map<std::string, int>& m, const std::string& id) {
      const auto found = m.find(id);
      return static_cast<double>(found == m.end() ? 0 : found->second);
    };
    ASSERT_FALSE(live.Id(c.id).empty()) << live.Text();
    EXPECT_EQ(live.Of(c.id, "station"), c.station);
    EXPECT_EQ(live.Of(c.id, "offset"), c.offset);
    EXPECT_EQ(live.Of(c.id, "received"), count(bus_.sent, c.id)) << live.Id(c.id);
    EXPECT_EQ(*live.Of(c.id, "sent") + *live.Of(c.id, "repeats"), count(bus_.commands, c.id)) << live.Id(c.id);
    EXPECT_EQ(live.Of(c.id, "acks"), count(bus_.acks, c.id)) << live.Id(c.id);
    // A telegram with a wrong checksum names its ID; the bus's noise names the sender.
    EXPECT_GE(*live.Of(c.id, "checksum_errors_unsure"), count(bus_.wrongChecksum, c.id)) << live.Id(c.id);
  }
  EXPECT_GT(live.Of(kSender, "received"), 5.0);
  EXPECT_EQ(live.Of(kSender, "acks"), live.Of(kSender, "received"));
  EXPECT_GE(*TStats::Number(live.Link(), "checksum_errors"), 1.0) << live.Link();

  // The silent station's commands all time out, each after its three transmissions.
  EXPECT_EQ(live.Of(kSilent, "sent"), 3.0);
  EXPECT_EQ(live.Of(kSilent, "repeats"), 6.0);
  EXPECT_EQ(live.Of(kSilent, "timeouts"), 3.0);
  EXPECT_EQ(live.Of(kSilent, "completed"), 0.0);
  EXPECT_EQ(live.Of(kSilent, "min"), std::nullopt);

  // An answer comes after the bus's delay, and no later than the line time of the
  // command and the answer (10 bits a byte at 9600 baud) on top. A bus that was itself
  // late (a loaded machine) says so in its stamps.
  const double lineMs = 2 * 15 * 10 * 1000.0 / 9600;
  const double busLateMs = std::max(0.0, bus_.longestAnswerMs - kAnswerDelayMs);
  for (const std::string& id : {kStation0, kStation1}) {
    SCOPED_TRACE(id);
    const std::string row = live.Id(id);
    EXPECT_EQ(TStats::Number(row, "count"), live.Of(id, "completed"));
    EXPECT_GE(*TStats::Number(row, "min"), kAnswerDelayMs - 0.5) << row;
    EXPECT_LE(*TStats::Number(row, "max"), kAnswerDelayMs + lineMs + busLateMs) << row;
  }

  // The capture of the run gives the same overview.
  std::vector<fs::path> captures;
  for (const auto& entry : fs::directory_iterator(files.File("log"))) captures.push_back(entry.path());
  ASSERT_EQ(captures.size(), 1u);
  TCli replay(files);
  ASSERT_EQ(replay.Run({"--stats-of", captures[0].string(), "--json"}), 0) << replay.Said();
  const TStats fromCapture = LastStats(replay.Out());
  ASSERT_FALSE(fromCapture.Empty()) << replay.Said();
  for (const char* name : {"received", "sent", "checksum_errors", "timeouts"}) {
    EXPECT_EQ(TStats::Number(fromCapture.Link(), name), TStats::Number(live.Link(), name)) << name;
  }
  for (const auto& c : ids) {
    SCOPED_TRACE(c.id);
    for (const char* name : {"station", "offset", "received", "sent", "repeats", "completed", "timeouts", "acks"}) {
      EXPECT_EQ(fromCapture.Of(c.id, name), live.Of(c.id, name)) << name;
    }
    // A capture's stamps have milliseconds.
    for (const char* name : {"min", "median", "p95", "max"}) {
      const std::optional<double> a = fromCapture.Of(c.id, name), b = live.Of(c.id, name);
      ASSERT_EQ(a.has_value(), b.has_value()) << name;
      if (a) EXPECT_NEAR(*a, *b, 1.0) << name;
    }
    // Noise names the sender where no capture line can: only the stations' times agree.
    if (c.id == kSender) continue;
    for (const char* name : {"first_seen", "last_seen"}) {
      EXPECT_NEAR(DayMs(TStats::Text(fromCapture.Id(c.id), name)), DayMs(TStats::Text(live.Id(c.id), name)), 1.0)
          << name;
    }
  }
}

// A capture's overview as a table, and the files it cannot read.
TEST(CliStatsOf, ReadsACaptureAndRefusesWhatIsNoFile) {
  TProgramDirectory files;
  const std::string capture = files.File("capture.log");
  WriteFileAtomically(capture,
                      "2026-12-09T10:00:00.000\ttx\t  09.12.2026 10:00:00   AB B0 00000000 FFFFFF80 00   \n"
                      "2026-12-09T10:00:00.045\trx\t  09.12.2026 10:00:00   8B B0 01000000 FFFFFF80 00   \n"
                      "not a capture line\n");
  struct {
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> out;
    std::string err;
  } cases[] = {
      {{"--stats-of", capture},
       0,
       {"bus overview at ", "link: 1 received, 1 sent, 0 checksum errors", "FFFFFF80 -   -          1        1",
        "45.0"},
       "1 lines of " + capture + " are not capture lines"},
      {{"--stats-of", capture, "--json"}, 0, {"{\"kind\": \"stats\", ", "\"completed\": 1, "}, ""},
      {{"--stats-of", files.File("missing.log")}, 2, {}, "cannot open " + files.File("missing.log")},
      {{"--stats-of", files.Path()}, 2, {}, "not a file"},
      {{"--stats", "0"}, 2, {}, "--stats: '0' is not a number of seconds above 0"},
      {{"--stats", "soon"}, 2, {}, "--stats: 'soon' is not a number of seconds above 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    TCli cli(files);
    EXPECT_EQ(cli.Run(c.arguments), c.status) << cli.Said();
    for (const std::string& part : c.out) EXPECT_NE(cli.Out().find(part), std::string::npos) << part << "\n" << cli.Said();
    EXPECT_NE(cli.Err().find(c.err), std::string::npos) << cli.Said();
  }
  // Nothing is locked, made or written in the program directory.
  EXPECT_FALSE(fs::exists(files.File("ardel.lock")));
  EXPECT_FALSE(fs::exists(files.File("log")));
}

}  // namespace
}  // namespace ardel
