#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>

#include "serial/pty_fixture.h"
#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

using ardel::testing::TProgramDirectory;
using ardel::testing::TPty;

// An unanswered command, in real time through the port: three transmissions about one
// interval apart, then nothing more.
TEST(TForm1Tick, UnansweredCommandIsSentThreeTimes) {
  TPty pty;
  TProgramDirectory files;
  files.WriteDataFiles();
  TForm1 form(files.Options({{"COM1", pty.Path()}}));
  TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);
  ASSERT_TRUE(form.App().ComPort().IsOpen());
  form.findChild<QSpinBox*>("SpinEdit1")->setValue(50);
  form.App().Queues().EnqueueCommand("AB B0 00000000 FFFFFF80 00");

  std::vector<qint64> arrivals;
  std::string pending;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 600) {
    QTimer wake;
    wake.start(2);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    pending += pty.ReadAvailable();
    while (pending.size() >= 15) {
      arrivals.push_back(clock.elapsed());
      pending.erase(0, 15);
    }
  }
  ASSERT_EQ(arrivals.size(), 3u);
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    const qint64 gap = arrivals[i] - arrivals[i - 1];
    EXPECT_GE(gap, 25) << i;  // never two in one run
  }
  EXPECT_EQ(form.App().Queues().Commands().Count(), 0u);
  EXPECT_TRUE(dialog.shown.empty());
}

}  // namespace
}  // namespace ardel::ui
