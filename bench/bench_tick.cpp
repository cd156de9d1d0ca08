// One run of the queue tick under load: many queued commands, many waiting answers.
#include <benchmark/benchmark.h>

#include "app/queue_tick.h"
#include "rules/rule_engine.h"
#include "rules/rule_set.h"

namespace ardel {
namespace {

// state.range(0) commands queued, state.range(1) answers waiting, half of which
// complete the oldest command; a small rule set sees every answer.
void BM_TickRun(benchmark::State& state) {
  const auto commands = static_cast<int>(state.range(0));
  const auto answers = static_cast<int>(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    TLinkLog log;
    TQueues queues;
    TReceivePath receive(log, queues.Answers());
    TTransmitPath transmit(log, receive);
    transmit.SetWriter([](std::string_view) { return std::string(); });
    TStationTable table;
    table.WriteHeadings();
    table.SetCell(1, 1, "FFFFFF80");
    TDisplayedStation shown;
    TTextLines information, messages;
    TRuleSet rules;
    rules.SetText("; senders\r\nif   6B 05 3*\r\nthen say button pressed\r\nif   8B B4 * FFFFFF80 0?\r\n");
    TRuleEngine engine(rules, queues, log, messages);
    TQueueTick tick(queues, log, transmit, table, shown, information,
                    {nullptr, [&](const std::string& t) { engine.RuleCheck(t); }, nullptr, nullptr});
    for (int i = 0; i < commands; ++i) queues.EnqueueCommand("AB B4 00000000 FFFFFF80 00   read INFI");
    for (int i = 0; i < answers; ++i) {
      queues.EnqueueAnswer(i % 2 == 0 ? "8B B4 FF800001 FFFFFF80 03" : "6B 05 30000000 FFFFFF85 30");
    }
    state.ResumeTiming();
    tick.Timer1Timer();
    benchmark::DoNotOptimize(queues.Commands().Count());
  }
}
BENCHMARK(BM_TickRun)->Args({100000, 1000})->Args({0, 0})->Args({1, 1})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ardel

BENCHMARK_MAIN();
