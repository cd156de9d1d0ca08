// The acknowledgement delay while the window searches its link log: the real window
// offscreen with its real port on a pseudo-terminal, a log of many lines, and the find
// bar searching it again and again while the far end sends 64 telegrams a second and
// times each one until its ACK arrives.
//
//   bench_find_ack_ui [seconds=20] [log lines already there, default 10000000]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "link/telegram.h"
#include "support/program_directory.h"
#include "ui/form1.h"

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  const long prefill = argc > 2 ? std::atol(argv[2]) : 10000000;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return 1;
  const std::string path = ttyname(slave);

  ardel::testing::TProgramDirectory files;
  files.WriteDataFiles();
  ardel::ui::TForm1 form(files.Options({{"COM1", path}}));
  ardel::ui::TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);
  form.show();
  if (!form.ComPort().IsOpen()) {
    std::fprintf(stderr, "port did not open\n");
    return 1;
  }
  for (long i = 0; i < prefill; ++i) {
    form.LinkLog().AppendLine(ardel::lkTx, i % 2 == 0 ? "  08.12.2026 18:45:12   6B 05 30000000 FFFFFF80 30   station 3"
                                                      : "  08.12.2026 18:45:12   AB AC 30000000 FFFFFF80 30   ");
  }
  QApplication::processEvents();
  auto* field = form.findChild<QLineEdit*>("FindField");
  auto* result = form.findChild<QLabel*>("FindResult");
  if (field == nullptr || result == nullptr) return 1;

  // The far end: one telegram every 1/64 s, each timed until its 15 ACK bytes are back.
  std::atomic<bool> stop{false};
  std::vector<double> delays;
  std::thread peer([&] {
    const ardel::TTelegramBody body{0x6B, 0x05, 0x30, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x80, 0x30};
    const auto wire = ardel::EncodeTelegram(body);
    char buffer[256];
    while (!stop) {
      const auto sent = std::chrono::steady_clock::now();
      if (::write(master, wire.data(), 14) != 14) break;
      std::size_t got = 0;
      while (got < 15 && !stop) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) got += static_cast<std::size_t>(n);
      }
      delays.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count());
      std::this_thread::sleep_until(sent + std::chrono::microseconds(15625));
    }
  });

  // Typing on restarts the search, as an operator's next letter does.
  int searches = 0;
  QTimer typing;
  QObject::connect(&typing, &QTimer::timeout, [&] {
    field->setText(searches % 2 == 0 ? QStringLiteral("station 3") : QStringLiteral("CHECKSUM ERROR"));
    ++searches;
  });
  typing.start(700);
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  app.exec();
  stop = true;
  peer.join();

  std::sort(delays.begin(), delays.end());
  if (delays.empty()) return 1;
  auto at = [&](double q) { return delays[std::min(delays.size() - 1, static_cast<std::size_t>(q * delays.size()))]; };
  std::printf("%ld log lines, %d searches started, last result \"%s\"\n", prefill, searches,
              result->text().toUtf8().constData());
  std::printf("%zu telegrams: ACK delay median %.2f ms, p99 %.2f ms, max %.2f ms\n", delays.size(), at(0.5), at(0.99),
              delays.back());
  return 0;
}
