// The bus overview window, offscreen: what its refresh once a second costs the thread
// that also acknowledges telegrams, with few IDs and with the overview full (4,096 IDs
// and "other"), when only counts move and when a new ID comes in each time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>
#include <chrono>

#include "app/event_loop.h"
#include "ui/bus_overview_window.h"

namespace ardel::ui {
namespace {

using namespace std::chrono_literals;

const TOverviewTime kNow = TOverviewTime(std::chrono::seconds(1'800'000'000));

TTelegramBody Body(std::uint32_t id) {
  return {0x6B, 0x05, 0, 0, 0, 0, static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
          static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0};
}

class TNoErrors : public IErrorSink {
 public:
  void ShowError(std::string_view, TTextEncoding) override {}
};

// Ten minutes of traffic over the IDs, twenty telegrams a second; beyond counts in "other".
void Fill(TBusOverview& overview, std::uint32_t ids, std::uint32_t beyond) {
  for (std::uint32_t i = 0; i < ids + beyond; ++i) overview.Received(Body(0x1000 + i), kNow - 700s);
  for (int s = 600; s >= 0; --s) {
    for (int k = 0; k < 20; ++k) overview.Received(Body(0x1000 + (s * 20 + k) % ids), kNow - std::chrono::seconds(s));
  }
}

void Refresh(benchmark::State& state, bool newIdEachTime) {
  const auto ids = static_cast<std::uint32_t>(state.range(0));
  TBusOverview overview(ids);
  Fill(overview, ids, newIdEachTime ? 0 : 10);
  TStationBases bases{};
  for (int s = 0; s < 16; ++s) bases[static_cast<std::size_t>(s)] = 0x1000 + 0x80 * static_cast<std::uint32_t>(s);
  TNoErrors errors;
  TOverviewSource source;
  source.overview = &overview;
  source.stations = [&] { return bases; };
  source.now = [] { return kNow; };
  TBusOverviewWindow window(std::move(source), errors, nullptr);
  window.show();
  window.findChild<QTableView*>("IdTable")->selectRow(3);
  QApplication::processEvents();
  std::uint32_t next = 0;
  for (auto _ : state) {
    if (newIdEachTime) {
      state.PauseTiming();
      // The same IDs but the last one, which is new each time: the rows change, not grow.
      overview = TBusOverview(ids);
      Fill(overview, ids - 1, 0);
      overview.Received(Body(0x9000'0000 + next++), kNow);
      state.ResumeTiming();
    } else {
      overview.Received(Body(0x1000 + next++ % ids), kNow);
    }
    window.Refresh();
    QApplication::processEvents();  // the paint
  }
}

void BM_OverviewRefreshCounts(benchmark::State& state) { Refresh(state, false); }
BENCHMARK(BM_OverviewRefreshCounts)->Arg(16)->Arg(TBusOverview::kMaxIds)->Unit(benchmark::kMillisecond);

void BM_OverviewRefreshNewId(benchmark::State& state) { Refresh(state, true); }
BENCHMARK(BM_OverviewRefreshNewId)->Arg(16)->Arg(TBusOverview::kMaxIds)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ardel::ui
