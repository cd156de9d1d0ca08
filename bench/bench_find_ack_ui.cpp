// The acknowledgement delay while the window searches its link log: the real window
// offscreen with its real port on a pseudo-terminal, a log of many lines, and the find
// bar searching it again and again while the far end sends 64 telegrams a second and
// times each one until its ACK arrives.
//
// Three-second phases take turns, so that all of them see the same machine:
//   - "searching": the find bar searches the whole log, restarted every 1.5 s;
//   - "idle": the find bar is empty, the program only answers;
//   - "echo": the far end talks to a second pseudo-terminal whose other side a bare
//     thread answers, with no program in between: what the system alone gives.
// A job woken every 5 ms, as the port's receive thread hands over each event, measures
// the main thread's part alone.
//
//   bench_find_ack_ui [seconds=30] [log lines already there, default 10000000]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "link/telegram.h"
#include "ui/find_bar.h"
#include "ui/form1.h"
#include "window_on_pty.h"
#include "ui/qt_event_loop.h"

namespace {

enum TPhase { kIdle, kSearching, kEcho, kPhases };
const char* const kPhaseNames[kPhases] = {"idle", "searching", "echo"};

double MillisecondsSince(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

bool Print(const char* what, std::vector<double>& d, const char* unit) {
  std::sort(d.begin(), d.end());
  if (d.empty()) return false;
  auto at = [&](double q) { return d[std::min(d.size() - 1, static_cast<std::size_t>(q * d.size()))]; };
  std::printf("%-32s %5zu %-9s median %.2f ms, p99 %.2f ms, max %.2f ms\n", what, d.size(), unit, at(0.5), at(0.99),
              d.back());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const long prefill = argc > 2 ? std::atol(argv[2]) : 10000000;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  ardel::bench::TWindowOnPty window;
  if (!window.Ready()) return 1;
  ardel::ui::TForm1& form = window.Form();
  const int master = window.FarEnd();
  int echoMaster = -1, echoSlave = -1;
  if (openpty(&echoMaster, &echoSlave, nullptr, nullptr, nullptr) != 0) return 1;
  termios raw{};
  tcgetattr(echoSlave, &raw);
  cfmakeraw(&raw);
  tcsetattr(echoSlave, TCSANOW, &raw);
  for (long i = 0; i < prefill; ++i) {
    form.App().LinkLog().AppendLine(ardel::lkTx, i % 2 == 0 ? "  08.12.2026 18:45:12   6B 05 30000000 FFFFFF80 30   station 3"
                                                      : "  08.12.2026 18:45:12   AB AC 30000000 FFFFFF80 30   ");
  }
  QApplication::processEvents();
  auto* field = form.findChild<QLineEdit*>("FindField");
  auto* bar = form.findChild<ardel::ui::TFindBar*>("FindBar");
  if (field == nullptr || bar == nullptr) return 1;
  std::atomic<int> phase{kIdle};
  std::atomic<bool> stop{false};

  // The bare answer of the echo phase: 15 bytes for every 14.
  std::thread echo([&] {
    char buffer[256];
    const char ack[15] = {};
    std::size_t got = 0;
    while (!stop) {
      pollfd p{echoSlave, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = ::read(echoSlave, buffer, sizeof buffer);
      if (n > 0) got += static_cast<std::size_t>(n);
      for (; got >= 14; got -= 14) {
        if (::write(echoSlave, ack, sizeof ack) != sizeof ack) return;
      }
    }
  });

  // The far end: one telegram every 1/64 s, each timed until its 15 ACK bytes are back.
  std::vector<double> delays[kPhases];
  std::thread peer([&] {
    const ardel::TTelegramBody body{0x6B, 0x05, 0x30, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x80, 0x30};
    const auto wire = ardel::EncodeTelegram(body);
    char buffer[256];
    while (!stop) {
      const auto sent = std::chrono::steady_clock::now();
      const int during = phase.load();
      const int fd = during == kEcho ? echoMaster : master;
      if (::write(fd, wire.data(), 14) != 14) break;
      std::size_t got = 0;
      while (got < 15 && !stop) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) got += static_cast<std::size_t>(n);
      }
      if (during == phase.load()) delays[during].push_back(MillisecondsSince(sent));
      std::this_thread::sleep_until(sent + std::chrono::microseconds(15625));
    }
  });

  // The main thread's part: a job woken from another thread, timed until it runs.
  ardel::ui::TQtEventLoop probeLoop;
  std::vector<double> waits[kPhases];
  std::thread probe([&] {
    while (!stop) {
      const auto woken = std::chrono::steady_clock::now();
      const int during = phase.load();
      probeLoop.Wake([&, woken, during] {
        if (during == phase.load()) waits[during].push_back(MillisecondsSince(woken));
      });
      std::this_thread::sleep_until(woken + std::chrono::milliseconds(5));
    }
  });

  // Typing on restarts the search, as an operator's next letter does; each search is
  // timed until it has looked at every line.
  int searches = 0;
  QElapsedTimer searchClock;
  bool timing = false;
  std::vector<double> searchTimes;
  QTimer typing;
  auto type = [&] {
    field->setText(searches % 2 == 0 ? QStringLiteral("station 3") : QStringLiteral("CHECKSUM ERROR"));
    ++searches;
    searchClock.start();
    timing = true;
  };
  QObject::connect(&typing, &QTimer::timeout, type);
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (timing && bar->Search().Done()) {
      searchTimes.push_back(static_cast<double>(searchClock.nsecsElapsed()) / 1e6);
      timing = false;
    }
  });
  watch.start(1);
  QTimer phases;
  QObject::connect(&phases, &QTimer::timeout, [&] {
    const int next = (phase + 1) % kPhases;
    if (phase == kSearching) {
      typing.stop();
      field->clear();
      timing = false;
    }
    phase = next;
    if (next == kSearching) {
      typing.start(1500);
      type();
    }
  });
  phases.start(3000);
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  app.exec();
  stop = true;
  peer.join();
  probe.join();
  echo.join();
  QCoreApplication::processEvents();

  std::printf("%ld log lines, %d searches started\n", prefill, searches);
  bool ok = Print("search of every line", searchTimes, "searches");
  for (int p = 0; p < kPhases; ++p) {
    ok = Print((std::string("ACK, ") + kPhaseNames[p]).c_str(), delays[p], "telegrams") && ok;
  }
  for (int p = 0; p < kEcho; ++p) {
    ok = Print((std::string("woken job's wait, ") + kPhaseNames[p]).c_str(), waits[p], "jobs") && ok;
  }
  return ok ? 0 : 1;
}
