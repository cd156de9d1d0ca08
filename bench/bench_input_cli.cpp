// ardel-cli's standard input on the program's own poll loop: how long the lines of a
// script take from the descriptor into the command queue, and what one endless line
// without a line end costs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ardel_app.h"
#include "app/poll_event_loop.h"
#include "cli/cli_run.h"

namespace ardel {
namespace {

class TNoErrors : public IErrorSink {
 public:
  void ShowError(std::string_view, TTextEncoding) override {}
};

// A file that holds the input; a regular file is always readable, as a fast pipe is.
int InputFile(const std::string& content) {
  char path[] = "/tmp/ardel-bench-input-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) std::abort();
  ::unlink(path);
  if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) std::abort();
  return fd;
}

// Until the queue holds `lines` commands, or the input has ended and the time ran out.
void Feed(benchmark::State& state, const std::string& content, std::size_t lines) {
  const int fd = InputFile(content);
  std::FILE* err = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    state.PauseTiming();
    ::lseek(fd, 0, SEEK_SET);
    TPollEventLoop loop;
    TNoErrors errors;
    // No start-up: nothing is sent and the queue only fills.
    TArdelApp app(loop, errors);
    cli::TCliOptions options;
    cli::TCliRun run(options, app, loop, fd, true, err);
    const auto check = loop.NewTimer(tkRepeating, [&] {
      if (app.Queues().Commands().Count() >= lines) loop.Quit(0);
    });
    check->Start(std::chrono::milliseconds(1));
    state.ResumeTiming();
    run.Start();
    loop.Run();
    state.PauseTiming();
    if (app.Queues().Commands().Count() != lines) state.SkipWithError("not every line was queued");
    state.ResumeTiming();
  }
  std::fclose(err);
  ::close(fd);
}

// state.range(0) distinct command lines.
void BM_ScriptLines(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  std::string content;
  char line[80];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "AB B0 00000000 %08zX 00   line %zu\n", i, i);
    content += line;
  }
  Feed(state, content, count);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ScriptLines)->Arg(8000)->Unit(benchmark::kMillisecond);

// One line of state.range(0) megabytes without a line end, then one good line.
void BM_EndlessLine(benchmark::State& state) {
  std::string content(static_cast<std::size_t>(state.range(0)) << 20, 'x');
  content += "\nAB B0 00000000 FFFFFF80 00\n";
  Feed(state, content, 1);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(content.size()));
}
BENCHMARK(BM_EndlessLine)->Arg(20)->Arg(160)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ardel

BENCHMARK_MAIN();
