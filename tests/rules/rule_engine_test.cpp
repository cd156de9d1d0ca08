#include "rules/rule_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace ardel {
namespace {

using namespace std::chrono_literals;

const std::chrono::system_clock::time_point kNow{1718000000s};
const std::string kAB = "AB B0 00000000 FFFFFF80 00";
const std::string kCD = "CD 05 30000000 0000ABCD 30";
constexpr const char* kWaiting = "AB 01 00000000 00000000 00   waiting";

class TRuleBench {
 public:
  TRuleBench() : linkLog(Clock()), engine(rules, queues, linkLog, messages) {
    queues.EnqueueCommand(kWaiting);
  }
  static TClock Clock() {
    return [] { return kNow; };
  }
  // What the evaluations added: messages, queue top to bottom, log lines after the guide.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < messages.Count(); ++i) out.push_back(messages.At(i));
    return out;
  }
  std::vector<std::string> Queue() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < queues.Commands().Count(); ++i) out.push_back(queues.Commands().At(i));
    return out;
  }
  std::vector<std::string> Trace() const {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < linkLog.Count(); ++i) {
      EXPECT_EQ(linkLog.Line(i).color, colors::kGrey);
      out.push_back(linkLog.Line(i).text);
    }
    return out;
  }

  TRuleSet rules;
  TQueues queues;
  TLinkLog linkLog;
  TTextLines messages;
  TRuleEngine engine;
};

const std::string T = TimeStampText(kNow);

std::string Said(const std::string& message) { return T + "   " + message; }
std::string Entered(const std::string& telegram) { return "- " + T + "  Enter Rulecheck with " + telegram; }
std::string DueTo(const std::string& command) { return "- " + T + "  due to Rule:  " + command; }

TEST(RuleCheck, Evaluation) {
  struct Case {
    const char* name;
    std::string rules;
    std::vector<std::string> telegrams;
    bool debugInfo;
    std::vector<std::string> messages;
    std::vector<std::string> queue;  // top to bottom, the waiting command included
    std::vector<std::string> trace;
  } cases[] = {
      {"empty rule set, Debug Info", "", {kAB}, true, {}, {kWaiting}, {Entered(kAB)}},
      {"say", "if   AB B0 *\nthen say seen", {kAB}, false, {Said("seen")}, {kWaiting}, {}},
      {"then lines before the first if line never act",
       "then say early\nthen AB 02\nif   CD *\nif   *\nthen say late", {kAB, kAB}, false,
       {Said("late"), Said("late")}, {kWaiting}, {}},
      {"each if line decides for its own then lines",
       "if   AB *\nthen say one\nif   CD *\nthen say two", {kAB, kCD}, false,
       {Said("one"), Said("two")}, {kWaiting}, {}},
      {"comments and ignored lines keep the match",
       "if   AB *\n/ note\n\n  \nIf   CD *\n then say no\nthen say kept\nif   CD *\n/x\nthen say not",
       {kAB}, false, {Said("kept")}, {kWaiting}, {}},
      {"two matching if lines both act", "if   AB *\nthen say a\nif   ?? B0 *\nthen say b", {kAB}, false,
       {Said("a"), Said("b")}, {kWaiting}, {}},
      {"no match leaves everything but the entry line",
       "if   CD *\nthen say x\nthen AB 03\nif   ab *\nthen say y", {kAB}, true, {}, {kWaiting},
       {Entered(kAB)}},
      {"commands queue above the waiting one, upper line sent first",
       "if   *\nthen AB 01 00000000 00000001 00   first\nthen AB 01 00000000 00000002 00", {kAB}, true, {},
       {"AB 01 00000000 00000002 00", "AB 01 00000000 00000001 00   first", kWaiting},
       {Entered(kAB), DueTo("AB 01 00000000 00000001 00   first"), DueTo("AB 01 00000000 00000002 00")}},
      {"no trace lines without Debug Info", "if   *\nthen AB 04", {kAB}, false, {}, {"AB 04", kWaiting}, {}},
      {"lamp does nothing, say wins over lamp", "if   *\nthen lamp 3\nthen say lamp is on", {kAB}, false,
       {Said("lamp is on")}, {kWaiting}, {}},
      {"an invalid command string is queued unchanged", "if   *\nthen zz not hex", {kAB}, false, {},
       {"zz not hex", kWaiting}, {}},
      {"an if line without a pattern never matches", "if   *\nif\nthen say a\nif   \nthen say b", {kAB},
       false, {}, {kWaiting}, {}},
      {"trailing stars need a character", "if   AB B0 00000000 FFFFFF80 00**\nthen say x", {kAB}, false, {},
       {kWaiting}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TRuleBench bench;
    bench.rules.SetText(c.rules);
    bench.linkLog.Switches().debugInfo = c.debugInfo;
    for (const std::string& telegram : c.telegrams) bench.engine.RuleCheck(telegram);
    EXPECT_EQ(bench.Messages(), c.messages);
    EXPECT_EQ(bench.Queue(), c.queue);
    EXPECT_EQ(bench.Trace(), c.trace);
  }
}

TEST(RuleCheck, ProcessRulesetOffDoesNothing) {
  TRuleBench bench;
  bench.rules.SetText("if   *\nthen say x\nthen AB 01");
  bench.linkLog.Switches().debugInfo = true;
  EXPECT_TRUE(bench.engine.ProcessRuleset());
  bench.engine.SetProcessRuleset(false);
  bench.engine.RuleCheck(kAB);
  EXPECT_TRUE(bench.Messages().empty());
  EXPECT_EQ(bench.Queue(), std::vector<std::string>{kWaiting});
  EXPECT_TRUE(bench.Trace().empty());

  // Telegrams seen while it was off are not checked later.
  bench.engine.SetProcessRuleset(true);
  bench.engine.RuleCheck(kCD);
  EXPECT_EQ(bench.Messages(), std::vector<std::string>{Said("x")});
}

TEST(RuleCheck, TraceIgnoresStopLogging) {
  TRuleBench bench;
  bench.rules.SetText("if   *\nthen AB 05");
  bench.linkLog.Switches().debugInfo = true;
  bench.linkLog.Switches().stopLogging = true;
  bench.engine.RuleCheck(kAB);
  EXPECT_EQ(bench.Trace(), (std::vector<std::string>{Entered(kAB), DueTo("AB 05")}));
}

// An edit takes effect with the next telegram, without saving.
TEST(RuleCheck, ReadsTheRuleSetAsTheEditorHoldsIt) {
  class TEditor : public IRuleSetEditor {
   public:
    std::string EditorText() const override { return text; }
    void ShowText(const std::string& shown) override { text = shown; }
    std::string text;
  } editor;
  TRuleBench bench;
  bench.rules.SetEditor(&editor);
  editor.text = "if   *\r\nthen say before";
  bench.rules.EditorChanged();
  bench.engine.RuleCheck(kAB);
  editor.text = "if   *\nthen say after";
  bench.rules.EditorChanged();
  bench.engine.RuleCheck(kAB);
  EXPECT_EQ(bench.Messages(), (std::vector<std::string>{Said("before"), Said("after")}));
}

}  // namespace
}  // namespace ardel
