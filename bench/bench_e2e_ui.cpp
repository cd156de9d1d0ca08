// End to end through a pseudo-terminal, which has no baud limit: a flood of sender
// telegrams (org 05) from the far end, the real window offscreen with its real port,
// "always" acknowledging. Prints the telegrams per second that the window frames, logs,
// acknowledges and hands to the tick, and whether it kept up.
//
//   bench_e2e_ui [seconds=60] [telegrams per second, 0 = as fast as it goes, -1 = none:
//   an idle open port] [log lines already there, default 0]
//
// With a rate the log is kept whole and the process's memory growth per line is shown;
// without one the log is cleared every second so the figure is the path's alone.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cstdio>

#include "process_stats.h"
#include <chrono>
#include <thread>

#include "link/telegram.h"
#include "ui/form1.h"
#include "window_on_pty.h"

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const int rate = argc > 2 ? std::atoi(argv[2]) : 0;
  const long prefill = argc > 3 ? std::atol(argv[3]) : 0;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  ardel::bench::TWindowOnPty window;
  if (!window.Ready()) return 1;
  ardel::ui::TForm1& form = window.Form();
  const int master = window.FarEnd();
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  std::size_t handed = 0;
  for (long i = 0; i < prefill; ++i) {
    form.App().LinkLog().AppendLine(ardel::colors::kSent,
                              "  08.12.2026 18:45:12   6B 05 30000000 FFFFFF80 30   filler line of the log");
  }
  QApplication::processEvents();
  if (prefill > 0) std::printf("resident memory after %ld log lines: %.1f MB\n", prefill, ardel::bench::ResidentBytes() / 1e6);

  // The far end: writes telegrams as fast as the line takes them, reads the ACKs.
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> sent{0}, acks{0};
  std::thread peer([&] {
    std::string chunk;
    for (int i = 0; i < 64; ++i) {
      const ardel::TTelegramBody body{0x6B, 0x05, 0x30, 0, 0, 0, 0xFF, 0xFF, 0xFF, static_cast<std::uint8_t>(0x80 + i), 0x30};
      const auto wire = ardel::EncodeTelegram(body);
      chunk.append(reinterpret_cast<const char*>(wire.data()), 14);
    }
    std::size_t offset = 0;
    std::uint64_t ackBytes = 0;
    char buffer[65536];
    const auto start = std::chrono::steady_clock::now();
    while (!stop) {
      // With a rate, write only when the next telegram is due.
      bool due = rate >= 0;
      int wait = 50;
      if (rate < 0) wait = 1000;
      if (rate > 0) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        due = static_cast<double>(sent) < elapsed * rate;
        // Sleep until the next one is due, so the far end costs next to nothing.
        wait = due ? 0 : std::max(1, static_cast<int>((static_cast<double>(sent + 1) / rate - elapsed) * 1000.0));
        if (due && offset == 0) {
          if (::write(master, chunk.data(), 14) == 14) ++sent;
          due = false;
        }
      }
      pollfd p{master, static_cast<short>(POLLIN | (due ? POLLOUT : 0)), 0};
      ::poll(&p, 1, wait);
      if (p.revents & POLLIN) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) ackBytes += static_cast<std::uint64_t>(n);
        acks = ackBytes / 15;
      }
      if (p.revents & POLLOUT) {
        const ssize_t n = ::write(master, chunk.data() + offset, chunk.size() - offset);
        if (n > 0) {
          offset += static_cast<std::size_t>(n);
          if (offset == chunk.size()) {
            offset = 0;
            sent += 64;
          }
        }
      }
    }
  });

  // The lines already there hold no received telegram; reading them back would be the
  // benchmark's cost, not the program's.
  std::size_t lastLines = form.App().LinkLog().Count();
  std::uint64_t received = 0;
  // The log is cleared now and then so the figure is the path's, not the log's memory;
  // blue lines are counted before each clear.
  auto countAndClear = [&] {
    ardel::TLinkLog& log = form.App().LinkLog();
    for (std::size_t i = lastLines; i < log.Count(); ++i) received += log.Line(i).color == ardel::colors::kReceived;
    if (rate == 0) {
      log.Clear();
      lastLines = 0;
    } else {
      lastLines = log.Count();
    }
  };
  QTimer clearTimer;
  QObject::connect(&clearTimer, &QTimer::timeout, countAndClear);
  clearTimer.start(1000);

  // The tick takes the answers; count them through the rule check.
  QElapsedTimer clock;
  clock.start();
  const double cpuBefore = ardel::bench::CpuSeconds();
  const long rssBefore = ardel::bench::ResidentBytes();
  const std::size_t linesBefore = form.App().LinkLog().Count();
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  QTimer sample;
  std::uint64_t lastReceived = 0;
  QObject::connect(&sample, &QTimer::timeout, [&] {
    countAndClear();
    std::printf("  %5.1f s: %8.0f telegrams/s, answer list %zu, command queue %zu\n", clock.elapsed() / 1000.0,
                static_cast<double>(received - lastReceived) / 10.0, form.App().Queues().Answers().Count(),
                form.App().Queues().Commands().Count());
    std::fflush(stdout);
    lastReceived = received;
  });
  sample.start(10000);
  app.exec();
  countAndClear();
  const double elapsed = clock.elapsed() / 1000.0;
  const double cpu = ardel::bench::CpuSeconds() - cpuBefore;
  stop = true;
  peer.join();
  handed = received - form.App().Queues().Answers().Count();
  std::printf("telegrams received and logged: %llu in %.1f s = %.0f per second\n",
              static_cast<unsigned long long>(received), elapsed, static_cast<double>(received) / elapsed);
  std::printf("acknowledgements read back:    %llu\n", static_cast<unsigned long long>(acks.load()));
  std::printf("handed to the tick:            %zu (left in the answer list: %zu)\n", handed,
              form.App().Queues().Answers().Count());
  std::printf("process CPU: %.2f s (%.2f %% of one core)\n", cpu, 100.0 * cpu / elapsed);
  std::printf("errors shown: %lld\n", static_cast<long long>(window.Errors().shown.size()));
  const long rssAfter = ardel::bench::ResidentBytes();
  std::printf("resident memory: %.1f MB", rssAfter / 1e6);
  if (rate > 0 && form.App().LinkLog().Count() > linesBefore) {
    std::printf(", growth %.0f bytes per log line over %zu new lines",
                static_cast<double>(rssAfter - rssBefore) / static_cast<double>(form.App().LinkLog().Count() - linesBefore),
                form.App().LinkLog().Count() - linesBefore);
  }
  std::printf("\n");
  return 0;
}
