// Start-up to a shown window, as the program does it: the application object, the window
// with its start-up sequence in a program directory with both data files, shown and
// painted once. Also the process memory with an empty log.
//
//   bench_startup_ui        (QT_QPA_PLATFORM decides the platform; offscreen by default)
// The loading of the program and its libraries comes before main and is not in this
// figure: `ardel --help` exits right after it, so time that (see docs/performance.md).
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "process_stats.h"

#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ardel::testing::TProgramDirectory files;
  files.WriteDataFiles("if   6B 05 *\r\nthen say sender\r\n");
  QElapsedTimer clock;
  clock.start();
  QApplication app(argc, argv);
  const qint64 app_ms = clock.elapsed();
  // A pseudo-terminal as COM1, so the whole sequence runs.
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return 1;
  ardel::ui::TForm1 form(files.Options({{"COM1", ttyname(slave)}}));
  ardel::ui::TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);
  const qint64 created_ms = clock.elapsed();
  form.show();
  form.repaint();
  QApplication::processEvents();
  const qint64 shown_ms = clock.elapsed();
  std::printf("application object: %lld ms\n", static_cast<long long>(app_ms));
  std::printf("window created (start-up sequence included): %lld ms\n", static_cast<long long>(created_ms));
  std::printf("window shown and painted: %lld ms\n", static_cast<long long>(shown_ms));
  std::printf("port open: %s, errors shown: %lld\n", form.App().ComPort().IsOpen() ? "yes" : "no",
              static_cast<long long>(dialog.shown.size()));
  std::printf("resident memory with an empty log: %.1f MB\n", (ardel::bench::ResidentBytes() / 1024) / 1024.0);
  return 0;
}
