// The rule engine's hot paths: one if line against a telegram text, and one telegram
// through a rule set of 10,000 lines.

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "rules/rule_engine.h"
#include "util/wild_match.h"

namespace ardel {
namespace {

const std::string kTelegram = "AB B0 00000000 FFFFFF80 00";

std::string Repeat(const std::string& piece, std::size_t length) {
  std::string out;
  while (out.size() < length) out += piece;
  out.resize(length);
  return out;
}

// Patterns of 100 characters, the longest an if line holds, chosen to make a matcher
// work hard: many stars, each followed by something that almost matches.
std::vector<std::string> HardPatterns() {
  std::vector<std::string> patterns = {
      Repeat("*?", 100),
      Repeat("?*", 100),
      std::string(99, '*') + "X",
      std::string(100, '*'),
      Repeat("*0", 99) + "X",
      Repeat("*F", 99) + "X",
      Repeat("*0?", 99) + "X",
      "*" + std::string(25, '?') + std::string(74, '*'),
      Repeat("* ", 99) + "X",
      "*" + std::string(24, '?') + std::string(74, '*') + "X",
      std::string(75, '*') + "00000000 FFFFFF80 0X",
      Repeat("*00000000 ", 100),
      Repeat("*0*F", 98) + "0X",
  };
  // Random ones that start with a star, so they get past the first character.
  std::mt19937 random(7);
  const std::string pieces = "*?0F ";
  while (patterns.size() < 32) {
    std::string p = "*";
    while (p.size() < 100) p += pieces[random() % pieces.size()];
    patterns.push_back(p);
  }
  return patterns;
}

void BM_WildMatch_HardIfLine(benchmark::State& state) {
  const std::string pattern = HardPatterns()[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state) benchmark::DoNotOptimize(WildMatch(kTelegram, pattern));
}
BENCHMARK(BM_WildMatch_HardIfLine)->DenseRange(0, 31);

// As an evaluation runs it: the text prepared once, then one pass per pattern.
void BM_TextMatcher_HardIfLine(benchmark::State& state) {
  const std::string pattern = HardPatterns()[static_cast<std::size_t>(state.range(0))];
  const TTextMatcher matcher(kTelegram);
  for (auto _ : state) benchmark::DoNotOptimize(matcher.Matches(pattern));
}
BENCHMARK(BM_TextMatcher_HardIfLine)->DenseRange(0, 31);

void BM_TextMatcher_Prepare(benchmark::State& state) {
  for (auto _ : state) {
    TTextMatcher matcher(kTelegram);
    benchmark::DoNotOptimize(&matcher);
  }
}
BENCHMARK(BM_TextMatcher_Prepare);

// A rule set as an operator writes it, grown to 10,000 lines: blocks of an if line on
// one station's telegrams, a comment, a message, a command and a lamp line. Every
// hundredth block matches the benchmark's telegram.
std::string TypicalRuleSet() {
  std::string text;
  for (int block = 0; text.size() < 10 * 1000 * 40; ++block) {
    char id[16];
    std::snprintf(id, sizeof id, "%08X", block % 100 == 0 ? 0xFFFFFF80u : 0x10000000u + block);
    text += "/ station " + std::to_string(block) + "\n";
    text += std::string("if   ?? B0 * ") + id + " *\n";
    text += "then say station " + std::to_string(block) + " answered\n";
    text += std::string("then AB B1 00000000 ") + id + " 00   react\n";
    text += "then lamp 1\n";
  }
  return text;
}

std::string Lines(std::string text, std::size_t count) {
  std::size_t seen = 0, i = 0;
  for (; i < text.size() && seen < count; ++i) seen += text[i] == '\n';
  text.resize(i - 1);  // no line break after the last line
  return text;
}

// 10,000 if lines of the hard patterns: the worst a rule set of that length can be.
std::string HardRuleSet() {
  const std::vector<std::string> patterns = HardPatterns();
  std::string text;
  for (std::size_t i = 0; i < 10000; ++i) text += "if   " + patterns[i % patterns.size()] + "\n";
  text.pop_back();
  return text;
}

class TRuleEngineBench {
 public:
  explicit TRuleEngineBench(const std::string& rules)
      : engine(ruleSet, queues, linkLog, messages) {
    ruleSet.SetText(rules);
  }
  // Keeps the outputs from growing over millions of runs.
  void Empty() {
    while (queues.Commands().Count() > 0) queues.Commands().RemoveAt(0);
    messages.Clear();
  }
  TRuleSet ruleSet;
  TQueues queues;
  TLinkLog linkLog;
  TTextLines messages;
  TRuleEngine engine;
};

void RunRuleCheck(benchmark::State& state, const std::string& rules) {
  TRuleEngineBench bench(rules);
  std::size_t runs = 0;
  for (auto _ : state) {
    bench.engine.RuleCheck(kTelegram);
    if (++runs % 64 == 0) {
      state.PauseTiming();
      bench.Empty();
      state.ResumeTiming();
    }
  }
  state.counters["lines"] = static_cast<double>(bench.ruleSet.Lines().size());
  state.counters["steps"] = static_cast<double>(bench.ruleSet.Steps().size());
}

void BM_RuleCheck_Typical10000Lines(benchmark::State& state) {
  RunRuleCheck(state, Lines(TypicalRuleSet(), 10000));
}
BENCHMARK(BM_RuleCheck_Typical10000Lines)->Unit(benchmark::kMicrosecond);

void BM_RuleCheck_Hard10000IfLines(benchmark::State& state) { RunRuleCheck(state, HardRuleSet()); }
BENCHMARK(BM_RuleCheck_Hard10000IfLines)->Unit(benchmark::kMicrosecond);

// The first telegram after an edit: the editor's text is split and classified again.
void BM_RuleCheck_AfterEdit10000Lines(benchmark::State& state) {
  class TEditor : public IRuleSetEditor {
   public:
    std::string EditorText() const override { return text; }
    void ShowText(const std::string& shown) override { text = shown; }
    std::string text;
  } editor;
  TRuleEngineBench bench(Lines(TypicalRuleSet(), 10000));
  bench.ruleSet.SetEditor(&editor);
  for (auto _ : state) {
    bench.ruleSet.EditorChanged();
    bench.engine.RuleCheck(kTelegram);
    state.PauseTiming();
    bench.Empty();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RuleCheck_AfterEdit10000Lines)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ardel

BENCHMARK_MAIN();
