#include "app/queue_tick.h"

#include <gtest/gtest.h>

#include "rules/rule_engine.h"
#include "rules/rule_set.h"

namespace ardel {
namespace {

const char* kVersion = "AB B0 00000000 FFFFFF80 00";

struct Rig {
  Rig()
      : log([] { return std::chrono::system_clock::time_point{}; }),
        receive(log, queues.Answers()),
        transmit(log, receive),
        engine(ruleSet, queues, log, messages),
        tick(queues, log, transmit, table, shown, information,
             {[this](const std::string& s) { dateTime = s; }, [this](const std::string& t) {
                checked.push_back(t);
                engine.RuleCheck(t);
              }, nullptr, nullptr}) {
    log.Clear();
    table.WriteHeadings();
    transmit.SetWriter([this](std::string_view bytes) {
      written.emplace_back(bytes);
      return std::string();
    });
  }
  // What the link log holds, each line shortened to its prefix and its end.
  std::vector<std::string> Kinds() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < log.Count(); ++i) {
      const std::string& text = log.Line(i).text;
      if (text.find("time out") != std::string::npos) out.push_back("time out");
      else if (text.find("repeat it") != std::string::npos) out.push_back("repeat it");
      else if (text.rfind("ok", 0) == 0) out.push_back("ok");
      else if (log.Line(i).color == colors::kSent) out.push_back("sent");
      else out.push_back(text);
    }
    return out;
  }
  void Run(int times = 1) {
    for (int i = 0; i < times; ++i) tick.Timer1Timer();
  }

  TLinkLog log;
  TQueues queues;
  TReceivePath receive;
  TTransmitPath transmit;
  TStationTable table;
  TDisplayedStation shown;
  TTextLines information;
  TTextLines messages;
  TRuleSet ruleSet;
  TRuleEngine engine;
  TQueueTick tick;
  std::string dateTime;
  std::vector<std::string> written;
  std::vector<std::string> checked;
};

TEST(QueueTick, ThreeTransmissionsThenTimeOut) {
  Rig rig;
  rig.queues.EnqueueCommand(kVersion);
  std::vector<int> repeat;
  for (int i = 0; i < 5; ++i) {
    rig.Run();
    repeat.push_back(rig.queues.RepeatCntr());
  }
  EXPECT_EQ(repeat, (std::vector<int>{2, 1, 0, 3, 3}));
  EXPECT_EQ(rig.Kinds(), (std::vector<std::string>{"sent", "repeat it", "sent", "repeat it", "sent", "time out"}));
  EXPECT_EQ(rig.written.size(), 3u);
  EXPECT_EQ(rig.queues.Commands().Count(), 0u);
  EXPECT_EQ(rig.dateTime, rig.log.TimeStamp());
  const std::string timeOut = rig.log.Line(5).text;
  EXPECT_EQ(timeOut, "E " + rig.log.TimeStamp() + std::string(38, ' ') + "time out");
  EXPECT_EQ(rig.log.Line(5).color, colors::kError);
  EXPECT_EQ(rig.log.Line(1).text, "W " + rig.log.TimeStamp() + std::string(38, ' ') + "repeat it");
  EXPECT_EQ(rig.log.Line(1).color, colors::kPurple);
}

TEST(QueueTick, CompletionCases) {
  struct Case {
    const char* name;
    std::string command;
    std::string answer;  // arrives after the first run
    bool completes;
    std::string younger = {};  // queued behind the command
  } cases[] = {
      {"answer completes", kVersion, "8B B0 00000000 FFFFFF80 00", true},
      {"other ID", kVersion, "8B B0 00000000 FFFFFF81 00", false},
      {"lower-case ID in the command", "AB B0 00000000 ffffff80 00", "8B B0 00000000 FFFFFF80 00", false},
      {"22 digits without blanks", "ABB000000000FFFFFF8000", "8B B0 00000000 FFFFFF80 00", false},
      {"acknowledgement completes", "AB C0 FF000000 FFFFFF80 00", "8B AC 00000000 FFFFFF80 00", true},
      {"any header", kVersion, "6B 05 30000000 FFFFFF80 30", true},
      {"answers a younger command only", kVersion, "8B B0 00000000 00000009 00", false,
       "AB B0 00000000 00000009 00"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.log.Switches().debugInfo = true;
    rig.queues.EnqueueCommand(c.command);
    if (!c.younger.empty()) rig.queues.EnqueueCommand(c.younger);
    rig.Run();
    rig.queues.EnqueueAnswer(c.answer);
    rig.Run();
    EXPECT_EQ(rig.queues.Commands().Count(), (c.completes ? 0u : 1u) + (c.younger.empty() ? 0u : 1u)) << c.name;
    EXPECT_EQ(rig.written.size(), c.completes ? 1u : 2u) << c.name;
    EXPECT_EQ(rig.queues.RepeatCntr(), c.completes ? 3 : 1) << c.name;
    const auto kinds = rig.Kinds();
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "ok"), c.completes ? 1 : 0) << c.name;
    if (c.completes) {
      EXPECT_EQ(rig.log.Line(1).text, "ok" + rig.log.TimeStamp() + std::string(46, ' ') + "remaining cmds 0")
          << c.name;
      EXPECT_EQ(rig.log.Line(1).color, colors::kLime);
    }
    EXPECT_EQ(rig.checked, std::vector<std::string>{c.answer}) << c.name;
  }
}

TEST(QueueTick, CompletedBeforeItsFirstTransmission) {
  Rig rig;
  rig.queues.SetAutoTransmit(false);
  rig.queues.EnqueueCommand(kVersion);
  rig.Run(2);
  EXPECT_TRUE(rig.written.empty());
  rig.queues.EnqueueAnswer("8B B0 00000000 FFFFFF80 00");
  rig.Run();
  EXPECT_EQ(rig.queues.Commands().Count(), 0u);
  EXPECT_TRUE(rig.written.empty());
}

TEST(QueueTick, SingleTransmitSteps) {
  Rig rig;
  rig.queues.SetAutoTransmit(false);
  rig.queues.SingleTransmit();  // with an empty queue: kept for the first command
  rig.Run();
  rig.queues.EnqueueCommand(kVersion);
  rig.Run(2);
  EXPECT_EQ(rig.written.size(), 1u);
  for (int i = 0; i < 3; ++i) rig.queues.SingleTransmit();
  rig.Run(3);
  EXPECT_EQ(rig.written.size(), 2u);
  rig.queues.SingleTransmit();
  rig.queues.SetAutoTransmit(false);  // clearing cancels the press
  rig.Run();
  EXPECT_EQ(rig.written.size(), 2u);
  rig.queues.SetAutoTransmit(true);
  rig.Run(2);
  EXPECT_EQ(rig.Kinds().back(), "time out");
}

TEST(QueueTick, SixteenInfiCommandsOnePerAnswer) {
  Rig rig;
  rig.table.SetCell(StationColumn(2), kSbiRow, "FFFFFF80");
  rig.shown.station = 5;
  for (int i = 0; i < 16; ++i) rig.queues.EnqueueCommand("AB B4 00000000 FFFFFF80 " + HexByte(static_cast<std::uint8_t>(i)));
  rig.Run();
  // The answers come out of order; each completes the oldest command and is stored at
  // its own index.
  for (int i = 15; i >= 0; --i) {
    rig.queues.EnqueueAnswer("8B B4 FF8000" + HexByte(static_cast<std::uint8_t>(i)) + " FFFFFF80 " +
                             HexByte(static_cast<std::uint8_t>(i)));
    rig.Run();
  }
  EXPECT_EQ(rig.queues.Commands().Count(), 0u);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(rig.table.Cell(StationColumn(2), InfiRow(i)), "FF8000" + HexByte(static_cast<std::uint8_t>(i)));
  }
  EXPECT_EQ(rig.written.size(), 16u);
  EXPECT_EQ(rig.shown.infi.Count(), 16u) << "the displayed station is shown again";
}

TEST(QueueTick, InfiAnswers) {
  struct Case {
    const char* name;
    std::string answer;
    int column;  // -1: nothing stored
    int row;
    bool shown;  // the displayed station is shown again whenever a station matched
  } cases[] = {
      {"entry 3 of station 2", "8B B4 FF800000 FFFFFF80 03", 3, 5, true},
      {"SBI compared without case", "8B B4 FF800000 ffffff80 0F", 3, 17, true},
      {"row below INFI[F]", "8B B4 FF800000 FFFFFF80 1D", 3, 31, true},
      {"past the last row", "8B B4 FF800000 FFFFFF80 1E", -1, 0, true},
      {"no such station", "8B B4 FF800000 12345678 03", -1, 0, false},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.table.SetCell(StationColumn(2), kSbiRow, "FFFFFF80");
    rig.table.SetCell(StationColumn(7), kSbiRow, "FFFFFF80");  // a higher station with the same SBI
    rig.shown.station = 0;
    rig.queues.EnqueueAnswer(c.answer);
    rig.Run();
    int stored = 0;
    for (int col = 1; col < 17; ++col) {
      for (int row = 2; row < 32; ++row) stored += !rig.table.Cell(col, row).empty();
    }
    EXPECT_EQ(stored, c.column < 0 ? 0 : 1) << c.name;
    if (c.column >= 0) {
      EXPECT_EQ(rig.table.Cell(c.column, c.row), "FF800000") << c.name;
    }
    EXPECT_EQ(rig.shown.infi.Count(), c.shown ? 16u : 0u) << c.name;
    EXPECT_EQ(rig.checked.size(), 1u) << "every telegram reaches the rules: " << c.name;
  }
}

TEST(QueueTick, BaseIdChangeReports) {
  struct Case {
    std::string status;
    std::string outcome;
  } cases[] = {
      {"00", "new ID base set)"},
      {"01", "ID base < 0xFF800000. ID base not allowed. New ID not set)"},
      {"02", "ID programmed more than 10 times. New ID not set)"},
      {"F7", "Station not in LRN-Mode. New ID not set)"},
      {"05", ""},
  };
  // The report comes whether the answer completes the change command or not.
  for (const bool waiting : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.status + (waiting ? " completing its command" : " with no command waiting"));
      Rig rig;
      if (waiting) rig.queues.EnqueueCommand("AB D0 00000000 FFFFFF80 00");
      rig.queues.EnqueueAnswer("8B D0 00000000 FFFFFF80 " + c.status);
      rig.Run();
      EXPECT_EQ(rig.queues.Commands().Count(), 0u);
      EXPECT_TRUE(rig.written.empty());
      ASSERT_EQ(rig.information.Count(), 3u);
      EXPECT_EQ(rig.information.At(0), "Station base ID change from FFFFFF80 to 00000000");
      EXPECT_EQ(rig.information.At(1), " ended with return Code: " + c.status + "  (" + c.outcome);
      EXPECT_EQ(rig.information.At(2), " -> Dont forget to build a new Station-Tab with new SBI...");
    }
  }
}

TEST(QueueTick, FourTelegramsInOneRunOldestFirst) {
  Rig rig;
  for (const char* id : {"00000001", "00000002", "00000003"}) {
    rig.queues.EnqueueCommand(std::string("AB B0 00000000 ") + id + " 00");
  }
  rig.queues.EnqueueAnswer("8B B0 00000000 00000001 00");
  rig.queues.EnqueueAnswer("8B B0 00000000 00000003 00");  // not the oldest when it comes
  rig.queues.EnqueueAnswer("8B B0 00000000 00000002 00");
  rig.queues.EnqueueAnswer("8B B0 00000000 00000003 00");
  rig.Run();
  EXPECT_EQ(rig.queues.Commands().Count(), 0u);
  EXPECT_EQ(rig.checked.size(), 4u);
  EXPECT_EQ(rig.checked.front(), "8B B0 00000000 00000001 00");
  EXPECT_TRUE(rig.written.empty());
}

TEST(QueueTick, RuleCommandIsSentInTheSameRun) {
  Rig rig;
  rig.ruleSet.SetText("if   6B 05 *\r\nthen AB C0 FF000000 FFFFFF80 00   signal on\r\n");
  rig.queues.EnqueueAnswer("6B 05 30000000 FFFFFF85 30");
  rig.Run();
  ASSERT_EQ(rig.written.size(), 1u);
  EXPECT_EQ(static_cast<std::uint8_t>(rig.written[0][3]), 0xC0);
}

TEST(QueueTick, UnconvertibleCommandIsReportedOnceAndLeaves) {
  Rig rig;
  rig.queues.EnqueueCommand(kVersion);
  rig.queues.EnqueueCommand("AB XY 00000000 FFFFFF80 00");
  rig.Run();
  rig.queues.EnqueueAnswer("8B B0 00000000 FFFFFF80 00");
  rig.Run();  // completes the first
  rig.Run();  // meets the bad one
  EXPECT_EQ(rig.queues.Commands().Count(), 0u);
  EXPECT_EQ(rig.queues.RepeatCntr(), 3);
  ASSERT_EQ(rig.log.Count(), 2u);
  EXPECT_EQ(rig.log.Line(1).text, "E " + rig.log.TimeStamp() + std::string(38, ' ') +
                                       "'$XY' ist kein g\xC3\xBCltiger Integerwert   AB XY 00000000 FFFFFF80 00");
}

TEST(QueueTick, InvalidCommandTimesOut) {
  Rig rig;
  rig.queues.EnqueueCommand("[empty]");
  rig.Run(4);
  EXPECT_EQ(rig.queues.Commands().Count(), 0u);
  EXPECT_TRUE(rig.written.empty());
  EXPECT_EQ(rig.Kinds().back(), "time out");
}

// "Stop Loging" silences telegram lines only ("no valid command string" is one); the
// tick's own "repeat it" and "time out" lines are still written.
TEST(QueueTick, StopLogingKeepsTheTicksOwnLines) {
  for (const char* command : {kVersion, "[empty]"}) {
    SCOPED_TRACE(command);
    Rig rig;
    rig.log.Switches().stopLogging = true;
    rig.queues.EnqueueCommand(command);
    rig.Run(4);
    EXPECT_EQ(rig.Kinds(), (std::vector<std::string>{"repeat it", "repeat it", "time out"}));
    EXPECT_EQ(rig.queues.Commands().Count(), 0u);
  }
  Rig rig;
  rig.queues.EnqueueCommand("[empty]");
  rig.Run();
  ASSERT_EQ(rig.log.Count(), 1u);
  EXPECT_NE(rig.log.Line(0).text.find("no valid command string"), std::string::npos)
      << "written with Stop Loging off";
}

TEST(QueueTick, IntervalEditorText) {
  struct Case {
    std::string text;
    int interval;
  } cases[] = {{"100", 100}, {"2500", 2500}, {"25", 25}, {"10", 25}, {"99999", 2500}, {"abc", 25},
               {"", 25},     {"-5", 25},     {" 500 ", 500}, {"12x", 25}, {"99999999999999999999", 2500}};
  for (const auto& c : cases) EXPECT_EQ(TickIntervalFromText(c.text), c.interval) << c.text;
}

}  // namespace
}  // namespace ardel

namespace ardel {
namespace {

// What an observer was told, with the queue's length at that moment.
struct TOutcomes : ICommandOutcomeObserver {
  explicit TOutcomes(const TQueues& queues) : queues(queues) {}
  void CommandDone(const TCommandOutcome& outcome) override {
    told.push_back(std::string(outcome.kind == coAnswered ? "answered " : "timed out ") + outcome.commandString);
    queueLengths.push_back(queues.Commands().Count());
  }
  const TQueues& queues;
  std::vector<std::string> told;
  std::vector<std::size_t> queueLengths;
};

// A face ends its run on these events: each command's end is told exactly once, with
// the command it is about, and nothing that is not an answer or a time-out is told.
TEST(QueueTick, OutcomesReachObserversOnce) {
  const std::string kOther = "AB B0 00000000 00000009 00";
  struct Case {
    const char* name;
    std::vector<std::string> commands;  // oldest first
    std::vector<std::string> answers;   // arrive after the first run, in one batch
    int runs;                           // after the answers
    std::vector<std::string> told;
  } cases[] = {
      {"answered", {kVersion}, {"8B B0 00000000 FFFFFF80 00"}, 3, {"answered " + std::string(kVersion)}},
      {"answered twice over", {kVersion}, {"8B B0 00000000 FFFFFF80 00", "8B B0 00000000 FFFFFF80 00"}, 3,
       {"answered " + std::string(kVersion)}},
      {"acknowledged", {"AB C0 FF000000 FFFFFF80 00"}, {"8B AC 00000000 FFFFFF80 00"}, 1,
       {"answered AB C0 FF000000 FFFFFF80 00"}},
      {"never answered", {kVersion}, {}, 8, {"timed out " + std::string(kVersion)}},
      {"invalid line", {"[empty]"}, {}, 8, {"timed out [empty]"}},
      {"cannot be converted", {"AB XY 00000000 FFFFFF80 00"}, {}, 8, {}},
      {"answer for the younger only", {kVersion, kOther}, {"8B B0 00000000 00000009 00"}, 8,
       {"timed out " + std::string(kVersion), "timed out " + kOther}},
      {"both in turn", {kVersion, kOther}, {"8B B0 00000000 FFFFFF80 00", "8B B0 00000000 00000009 00"}, 1,
       {"answered " + std::string(kVersion), "answered " + kOther}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    TOutcomes outcomes(rig.queues);
    TOutcomes removed(rig.queues);
    rig.tick.AddOutcomeObserver(&outcomes);
    rig.tick.AddOutcomeObserver(&removed);
    rig.tick.AddOutcomeObserver(&outcomes);  // twice is once
    rig.tick.RemoveOutcomeObserver(&removed);
    for (const std::string& command : c.commands) rig.queues.EnqueueCommand(command);
    rig.Run();
    for (const std::string& answer : c.answers) rig.queues.EnqueueAnswer(answer);
    rig.Run(c.runs);
    EXPECT_EQ(outcomes.told, c.told);
    EXPECT_TRUE(removed.told.empty());
    // Told once the command has left: a face that ends on it finds the queue as it is.
    for (std::size_t i = 0; i < outcomes.queueLengths.size(); ++i) {
      EXPECT_EQ(outcomes.queueLengths[i], c.commands.size() - 1 - i);
    }
  }
}

}  // namespace
}  // namespace ardel
