#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

#include "link/telegram.h"
#include "serial/pty_fixture.h"
#include "support/event_loop.h"
#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

using namespace std::chrono_literals;
using ardel::testing::TProgramDirectory;
using ardel::testing::PumpFor;
using ardel::testing::PumpUntil;
using ardel::testing::TPty;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The device pulled and offered again a hundred times: the port comes back every time,
// a telegram goes through each time, and nothing spins while the device is away.
TEST(TForm1Serial, PulledAndReplugged100Times) {
  char dir[] = "/tmp/ardel-replug-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/adapter";
  auto pty = std::make_unique<TPty>();
  ASSERT_EQ(::symlink(pty->Path().c_str(), link.c_str()), 0);

  TProgramDirectory files;
  files.WriteDataFiles();
  TFormOptions options = files.Options({{"COM1", link}});
  options.portRetryInterval = 10ms;
  TForm1 form(options);
  TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);
  ASSERT_TRUE(form.App().ComPort().IsOpen());

  const TTelegramBody body{0x8B, 0xB0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x80, 0};
  const TWireTelegram wire = EncodeTelegram(body);
  const std::string bytes(wire.begin(), wire.end());
  for (int round = 0; round < 100; ++round) {
    // Pulled. The name goes first: a freed pseudo-terminal number is soon handed to
    // another program, and the retries must not reach into it.
    ::unlink(link.c_str());
    pty.reset();
    ASSERT_TRUE(PumpUntil([&] { return !form.App().ComPort().IsOpen(); })) << round;
    // Away for a while: the retries must not spin.
    const double cpuBefore = CpuSeconds();
    QElapsedTimer away;
    away.start();
    PumpFor(30);
    const double awayCpu = CpuSeconds() - cpuBefore;
    EXPECT_LT(awayCpu, 0.9 * away.elapsed() / 1000.0) << round;

    pty = std::make_unique<TPty>();
    ASSERT_EQ(::symlink(pty->Path().c_str(), link.c_str()), 0);
    ASSERT_TRUE(PumpUntil([&] { return form.App().ComPort().IsOpen(); })) << round;
    const std::size_t before = form.App().LinkLog().Count();
    pty->Write(bytes);
    ASSERT_TRUE(PumpUntil([&] {
      return form.App().LinkLog().Count() > before &&
             form.App().LinkLog().Line(form.App().LinkLog().Count() - 1).color == colors::kReceived;
    })) << round;
  }
  EXPECT_TRUE(dialog.shown.isEmpty());
  ::unlink(link.c_str());
  ::rmdir(dir);
}

}  // namespace
}  // namespace ardel::ui
