// The window on a port that cannot open, on both systems.

#include <gtest/gtest.h>

#include "support/event_loop.h"
#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

using ardel::testing::TProgramDirectory;
using ardel::testing::PumpFor;

TEST(TForm1Serial, APortThatCannotOpenGoesToTheErrorDialogAndTheWindowCarriesOn) {
  struct TCase {
    bool openPort;
    int dialogs;
  };
  for (const TCase c : {TCase{true, 1}, TCase{false, 0}}) {
    SCOPED_TRACE(c.openPort);
    TProgramDirectory files;
    files.WriteDataFiles();  // the start-up goes on past the port and loads them
    TFormOptions options = files.Options({{"COM1", "/dev/ardel-no-such-device"}});
    options.runSequences = c.openPort;
    TForm1 form(options);
    TRecordingErrorDialog dialog;
    form.SetErrorDialog(&dialog);
    PumpFor(50);
    ASSERT_EQ(dialog.shown.size(), c.dialogs) << dialog.shown.join(" | ").toStdString();
    if (c.dialogs > 0) {
      EXPECT_TRUE(dialog.shown[0].startsWith(QStringLiteral("TCOMPORT : cannot open COM1\r")));
      EXPECT_TRUE(dialog.shown[0].contains(QStringLiteral("/dev/ardel-no-such-device")));
    }
    EXPECT_FALSE(form.App().ComPort().IsOpen());
    // Tried again as a lost port is, once the start-up has tried it.
    EXPECT_EQ(form.App().PortRetryTimer().IsActive(), c.openPort);
    form.App().ComPort().SendString("nowhere");
  }
}

}  // namespace
}  // namespace ardel::ui
