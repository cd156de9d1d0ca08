// The tab "Setup"'s table of ports and the status bar, with pseudo-terminals as the
// devices and a /dev tree of the test's own for the list of devices.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link/telegram.h"
#include "serial/pty_fixture.h"
#include "support/event_loop.h"
#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"
#include "util/text_file.h"

namespace ardel::ui {
namespace {

using ardel::testing::PumpUntil;
using ardel::testing::TProgramDirectory;
using ardel::testing::TPty;

struct TScratch {
  std::string dir;
  TScratch() {
    char name[] = "/tmp/ardel-ports-XXXXXX";
    if (::mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp");
    dir = name;
    std::filesystem::create_directories(dir + "/root/dev");
  }
  ~TScratch() { std::filesystem::remove_all(dir); }
};

QString Label(QWidget& form, const char* name) {
  auto* label = form.findChild<QLabel*>(QString::fromLatin1(name));
  return label != nullptr ? label->text() : QStringLiteral("<no label %1>").arg(QString::fromLatin1(name));
}

QStringList Items(QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemData(i).toString();
  return items;
}

TEST(TForm1Ports, TheTableChoosesTheDeviceAndTheStatusBarFollows) {
  TScratch scratch;
  { std::ofstream(scratch.dir + "/root/dev/ttyUSB0"); }
  TPty first;
  TPty second;
  const std::string link = scratch.dir + "/adapter";
  ASSERT_EQ(::symlink(second.Path().c_str(), link.c_str()), 0);
  TProgramDirectory files;
  files.WriteDataFiles();
  WriteFileAtomically(files.ConfigFile(),
                      "[Link]\nComport=1\n[Ports]\n; the bench adapter\nCOM1=" + first.Path() + "\n");
  TFormOptions options = files.Options();
  options.deviceRoot = scratch.dir + "/root";
  TForm1 form(options);
  TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);

  // The bar: the port, its device, its state.
  EXPECT_NE(form.findChild<QStatusBar*>(QStringLiteral("StatusBar1")), nullptr);
  EXPECT_EQ(Label(form, "StatusBarPort"), "COM1");
  EXPECT_EQ(Label(form, "StatusBarDevice"), QString::fromStdString(first.Path()));
  EXPECT_EQ(Label(form, "StatusBarState"), "open");

  auto* combo = form.findChild<QComboBox*>(QStringLiteral("ComboBoxPort1"));
  ASSERT_NE(combo, nullptr);
  EXPECT_TRUE(combo->isEditable());
  EXPECT_EQ(combo->currentText(), QString::fromStdString(first.Path()));
  EXPECT_EQ(Items(combo), QStringList{"/dev/ttyUSB0"});
  auto* caption = form.findChild<QLabel*>(QStringLiteral("LabelPorts"));
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->buddy(), form.findChild<QWidget*>(QStringLiteral("PortsTable")));

  // An adapter plugged in after the start shows up in every row's list.
  { std::ofstream(scratch.dir + "/root/dev/ttyACM0"); }
  ASSERT_TRUE(PumpUntil([&] { return combo->count() == 2; }));
  EXPECT_EQ(Items(combo), (QStringList{"/dev/ttyUSB0", "/dev/ttyACM0"}));
  EXPECT_EQ(combo->currentText(), QString::fromStdString(first.Path()));

  if (const char* shot = std::getenv("ARDEL_SETUP_SCREENSHOT")) {
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    pages->setCurrentIndex(pages->count() - 1);
    form.show();
    PumpUntil([] { return false; }, 200);
    form.grab().save(QString::fromLocal8Bit(shot));
  }

  // A typed path: written at once beside the foreign line, and the port opens on it.
  combo->setEditText(QString::fromStdString(link));
  emit combo->lineEdit()->returnPressed();
  EXPECT_TRUE(dialog.shown.isEmpty()) << dialog.shown.join("\n").toStdString();
  EXPECT_EQ(ReadWholeFile(files.ConfigFile()),
            "[Link]\nComport=1\n[Ports]\n; the bench adapter\nCOM1=" + link + "\n");
  EXPECT_EQ(form.App().ComPort().Device(), link);
  EXPECT_EQ(Label(form, "StatusBarDevice"), QString::fromStdString(link));
  EXPECT_EQ(Label(form, "StatusBarState"), "open");

  // An exchange: one telegram in, its ACK out.
  const TWireTelegram wire = EncodeTelegram({0x8B, 0x01, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0x80, 5});
  second.Write(std::string(wire.begin(), wire.end()));
  ASSERT_TRUE(PumpUntil([&] { return Label(form, "StatusBarCounts").startsWith("received 1 "); }));
  EXPECT_EQ(Label(form, "StatusBarCounts"), "received 1   sent 1   ACKs sent 1   checksum errors 0");

  auto* rs485 = form.findChild<QCheckBox*>(QStringLiteral("CheckBoxRs485Port3"));
  ASSERT_NE(rs485, nullptr);
  rs485->click();
  EXPECT_NE(ReadWholeFile(files.ConfigFile()).find("\nCOM3.rs485=1\n"), std::string::npos);

  // Pulled: lost, and tried again.
  ::unlink(link.c_str());
  second.CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return Label(form, "StatusBarState") == "lost: trying again every second"; }));

  // A device that is not there: the reason, as at the start.
  combo->setEditText(QStringLiteral("/nonexistent/ttyUSB7"));
  emit combo->lineEdit()->returnPressed();
  EXPECT_TRUE(Label(form, "StatusBarState").startsWith("cannot open: /nonexistent/ttyUSB7: No such file or directory"))
      << Label(form, "StatusBarState").toStdString();
  ASSERT_TRUE(PumpUntil([&] { return !dialog.shown.isEmpty(); }));
}

}  // namespace
}  // namespace ardel::ui
