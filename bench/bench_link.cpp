// Hot paths of the link: framing received bytes, and the text forms.
#include <benchmark/benchmark.h>

#include "log/link_log.h"
#include "link/receive_path.h"
#include "queue/queues.h"

namespace ardel {
namespace {

std::string TelegramStream(std::size_t count) {
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) {
    TTelegramBody body{0x6B, 0x05, 0x30, 0, 0, 0, 0xFF, 0xFF, 0xFF, static_cast<std::uint8_t>(i), 0x30};
    const TWireTelegram wire = EncodeTelegram(body);
    bytes.append(reinterpret_cast<const char*>(wire.data()), wire.size());
  }
  return bytes;
}

// The framer alone, as the core sees a delivery.
void BM_Framer(benchmark::State& state) {
  struct Sink : TReceiveFramer::TSink {
    void OnGoodTelegram(const TFrame& f) override { good += f[3]; }
    void OnChecksumError(std::uint8_t, std::uint8_t) override {}
    std::size_t good = 0;
  } sink;
  const std::string bytes = TelegramStream(4096);
  TReceiveFramer framer;
  for (auto _ : state) {
    framer.Feed(bytes, sink);
    benchmark::DoNotOptimize(sink.good);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Framer);

// The whole receive path: framing, log line with time stamp, answer list.
void BM_ReceivePath(benchmark::State& state) {
  const std::string bytes = TelegramStream(1024);
  for (auto _ : state) {
    state.PauseTiming();
    TLinkLog log;
    TQueues queues;
    TReceivePath path(log, queues.Answers());
    state.ResumeTiming();
    path.ComPort1ReceiveCallBack(bytes);
    benchmark::DoNotOptimize(queues.Answers().Count());
  }
  state.SetItemsProcessed(state.iterations() * 1024);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReceivePath);

void BM_ParseCommandString(benchmark::State& state) {
  const std::string line = "AB B0 00000000 FFFFFF80 00   get SW Version of Station with default ID";
  for (auto _ : state) benchmark::DoNotOptimize(ParseCommandString(line));
}
BENCHMARK(BM_ParseCommandString);

void BM_FormatTelegramText(benchmark::State& state) {
  const TTelegramBody body{0xAB, 0xB0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x80, 0};
  for (auto _ : state) benchmark::DoNotOptimize(FormatTelegramText(body));
}
BENCHMARK(BM_FormatTelegramText);

}  // namespace
}  // namespace ardel

BENCHMARK_MAIN();
