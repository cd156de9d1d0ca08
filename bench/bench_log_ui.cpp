// The link log through the real view, offscreen: lines per second appended while the
// view follows, and the process memory each line costs.
#include <benchmark/benchmark.h>

#include "process_stats.h"
#include <unistd.h>

#include <QApplication>
#include <QAbstractItemView>
#include <fstream>

#include "ui/form1.h"

namespace ardel::ui {
namespace {


const std::string kLine =
    "  08.12.2026 18:45:12   6B 05 30000000 FFFFFF80 30   simulated TRT telegram of a PTM";

// Append through the model the view shows; one event-loop turn per batch of 64, as the
// serial port hands over deliveries.
void BM_LinkLogAppendThroughView(benchmark::State& state) {
  TForm1 form;
  form.show();
  auto* view = form.findChild<QAbstractItemView*>("RichEdit1");
  form.App().LinkLog().Clear();
  const long before = ardel::bench::ResidentBytes();
  std::size_t appended = 0;
  for (auto _ : state) {
    for (int i = 0; i < 64; ++i) form.App().LinkLog().AppendLine(colors::kReceived, kLine);
    appended += 64;
    QApplication::processEvents();
  }
  benchmark::DoNotOptimize(view);
  state.SetItemsProcessed(static_cast<std::int64_t>(appended));
  state.counters["bytes_per_line"] = static_cast<double>(ardel::bench::ResidentBytes() - before) / static_cast<double>(appended);
  state.counters["lines"] = static_cast<double>(appended);
}
BENCHMARK(BM_LinkLogAppendThroughView)->Iterations(1000000 / 64)->Unit(benchmark::kMillisecond);

// The cost of one more line once a million are there, against the first.
void BM_AppendAtSize(benchmark::State& state) {
  TLinkLog log;
  for (std::int64_t i = 0; i < state.range(0); ++i) log.AppendLine(colors::kReceived, kLine);
  for (auto _ : state) log.AppendLine(colors::kReceived, kLine);
}
BENCHMARK(BM_AppendAtSize)->Arg(1)->Arg(1000000);

}  // namespace
}  // namespace ardel::ui
