// The overview's chart set with ten minutes of history and painted, offscreen. Built
// twice where this Qt has Qt Charts: bench_chart draws with it, bench_chart_painted
// paints by hand as a Qt without it does.
#include <benchmark/benchmark.h>

#include <vector>

#include "ui/rate_chart.h"

namespace ardel::ui {
namespace {

void BM_ChartPaint(benchmark::State& state) {
  std::vector<TLinkRates> history(TBusOverview::kSeconds);
  for (std::size_t i = 0; i < history.size(); ++i) {
    // The worst for a line: up and down every second.
    history[i].telegramsReceived = i % 2 == 0 ? 30 : 0;
    history[i].errors = i % 2 == 0 ? 0 : 5;
    history[i].loadPercent = i % 2 == 0 ? 90 : 10;
  }
  TRateChart chart;
  chart.resize(960, 240);
  chart.show();
  for (auto _ : state) {
    chart.SetHistory(history);
    benchmark::DoNotOptimize(chart.grab());
  }
}
BENCHMARK(BM_ChartPaint)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ardel::ui
