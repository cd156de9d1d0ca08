// Start-up and shut-down in program directories of their own, on both systems; the
// ports are network ports on loopback listeners, since here a port only has to open.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "support/file_identity.h"
#include "support/loopback_server.h"
#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

using ardel::testing::TProgramDirectory;
using ardel::testing::FileIdentity;
using ardel::testing::TLoopbackServer;

// A station data file with station 0's SBI and first INFI entry set, CR LF as written.
std::string StationFileWithStation0() {
  TStationTable table;
  table.WriteHeadings();
  table.SetCell(StationColumn(0), kSbiRow, "FF800080");
  table.SetCell(StationColumn(0), InfiRow(0), "FF800081");
  return StationFileText(table);
}

const std::string kRules = "/ a rule set\r\nif   8B B4 *\r\nthen say INFI entry";

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

class ShellTest : public ::testing::Test {
 protected:
  // Four ports, COM1..COM4, each on a listener of its own.
  std::map<std::string, std::string> PortMap() const {
    std::map<std::string, std::string> map;
    for (int i = 0; i < 4; ++i) map["COM" + std::to_string(i + 1)] = servers_[i].Url();
    return map;
  }
  std::string PortsSection() const {
    std::string text = "[Ports]\n";
    for (auto& [name, device] : PortMap()) text += name + "=" + device + "\n";
    return text;
  }

  // Creates the window, which starts up; its dialogs are recorded once the loop runs.
  std::unique_ptr<TForm1> Start(TFormOptions options) {
    auto form = std::make_unique<TForm1>(std::move(options));
    form->SetErrorDialog(&errors_);
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    return form;
  }
  std::unique_ptr<TForm1> Start() { return Start(files_.Options(PortMap())); }

  template <typename T>
  static T* Find(TForm1& form, const char* name) {
    T* child = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static bool WarningShown(TForm1& form) { return !Find<QLabel>(form, "Label18")->isHidden(); }
  static QString RepeatDisplay(TForm1& form) { return Find<QLabel>(form, "Label16")->text(); }

  std::string Errors() const { return errors_.shown.join(" | ").toStdString(); }

  std::array<TLoopbackServer, 4> servers_;
  TProgramDirectory files_;
  TRecordingErrorDialog errors_;
};

TEST_F(ShellTest, NoConfigurationFileOpensCom1AndCreatesTheFileAtExit) {
  WriteFileAtomically(files_.StationFile(), StationFileWithStation0());
  WriteFileAtomically(files_.RuleSetFile(), kRules);
  auto form = Start();
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();

  EXPECT_EQ(Find<QSpinBox>(*form, "SpinEdit2")->value(), 1);
  EXPECT_EQ(form->App().ComPort().Port, "COM1");
  EXPECT_TRUE(form->App().ComPort().IsOpen());
  EXPECT_EQ(form->App().ComPort().Device(), servers_[0].Url());
  EXPECT_FALSE(WarningShown(*form));
  EXPECT_EQ(form->App().Queues().RepeatCntr(), 3);
  EXPECT_TRUE(RepeatDisplay(*form).endsWith("RepeatCntr: 3"));
  EXPECT_TRUE(form->App().Queues().TransmitPermit());
  EXPECT_EQ(form->App().ProgramDirectory(), files_.Path());
  EXPECT_EQ(form->App().ConfigFileName(), files_.ConfigFile());
  EXPECT_EQ(form->App().StationTable().Cell(StationColumn(15), kHeadingRow), "F");
  EXPECT_EQ(form->App().StationTable().Cell(kHeadingColumn, InfiRow(15)), "INFI[F]");
  EXPECT_EQ(Find<QLabel>(*form, "Label2")->text(), "Station: 0");
  EXPECT_EQ(Find<QLineEdit>(*form, "Edit3")->text(), "FF800080");
  EXPECT_EQ(Find<QListView>(*form, "ListBox1")->model()->index(0, 0).data().toString(), "FF800081");
  EXPECT_EQ(Find<QPlainTextEdit>(*form, "Memo2")->toPlainText(),
            "/ a rule set\nif   8B B4 *\nthen say INFI entry");
  EXPECT_FALSE(Exists(files_.ConfigFile()));  // nothing changed the port number

  // What the operator did is in the files after the exit; the interval is not.
  form->App().StationTable().SetCell(StationColumn(7), kSbiRow, "FF800380");
  Find<QPlainTextEdit>(*form, "Memo2")->appendPlainText("then say more");
  Find<QSpinBox>(*form, "SpinEdit1")->setValue(500);
  // An SBI typed without a station tab switch after it reaches neither table nor file.
  Find<QLineEdit>(*form, "Edit3")->setText("FF800300");
  form.reset();
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), "[Link]\nComport=1\n");
  TStationTable saved;
  LoadStationTable(saved, files_.StationFile());
  EXPECT_EQ(saved.Cell(StationColumn(7), kSbiRow), "FF800380");
  EXPECT_EQ(saved.Cell(StationColumn(0), kSbiRow), "FF800080");
  EXPECT_EQ(ReadWholeFile(files_.RuleSetFile()), kRules + "\r\nthen say more");

  form = Start();
  EXPECT_EQ(Find<QSpinBox>(*form, "SpinEdit1")->value(), 100);
  EXPECT_EQ(form->App().TickTimer().Interval().count(), 100);
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
}

// The stored value goes through the field: held to 1..4, hexadecimal after "0x", 1 for
// anything else. A changed value is written back at once; the warning that this shows
// is gone when the start-up is done.
TEST_F(ShellTest, StoredPortNumbers) {
  struct TCase {
    const char* stored;
    int port;
    const char* afterStart;  // the Comport line once started
  };
  const TCase cases[] = {
      {"3", 3, "Comport=3"},
      {"9", 4, "Comport=4"},
      {"abc", 1, "Comport=abc"},
      {"0x2", 2, "Comport=2"},
      {"0", 1, "Comport=0"},
  };
  files_.WriteDataFiles();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.stored);
    const std::string head = "; the bench in room 2\r\n" + PortsSection() + "\r\n";
    WriteFileAtomically(files_.ConfigFile(), head + "[Link]\nComport=" + c.stored + "\n");
    auto form = Start(files_.Options());  // the devices from the file's [Ports]
    EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
    EXPECT_EQ(Find<QSpinBox>(*form, "SpinEdit2")->value(), c.port);
    EXPECT_EQ(form->App().ComPort().Port, "COM" + std::to_string(c.port));
    EXPECT_TRUE(form->App().ComPort().IsOpen());
    EXPECT_EQ(form->App().ComPort().Device(), servers_[c.port - 1].Url());
    EXPECT_FALSE(WarningShown(*form));
    EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), head + "[Link]\n" + c.afterStart + "\n");
    form.reset();
    EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), head + "[Link]\nComport=" + std::to_string(c.port) + "\n");
  }
}

TEST_F(ShellTest, PortNumberChangedAndBackWritesTwiceAndKeepsThePortInUse) {
  files_.WriteDataFiles();
  auto form = Start();
  auto* spin = Find<QSpinBox>(*form, "SpinEdit2");
  spin->setValue(2);
  const std::uint64_t first = FileIdentity(files_.ConfigFile());
  ASSERT_NE(first, 0u);
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), "[Link]\nComport=2\n");
  EXPECT_TRUE(WarningShown(*form));
  EXPECT_EQ(form->App().ComPort().Port, "COM2");
  spin->setValue(1);
  EXPECT_NE(FileIdentity(files_.ConfigFile()), first);
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), "[Link]\nComport=1\n");
  EXPECT_TRUE(WarningShown(*form));
  EXPECT_TRUE(form->App().ComPort().IsOpen());
  EXPECT_EQ(form->App().ComPort().Device(), servers_[0].Url());
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();

  // A configuration file that cannot be written is reported; the field keeps the value.
  std::filesystem::remove(files_.ConfigFile());
  std::filesystem::create_directory(files_.ConfigFile());
  spin->setValue(3);
  ASSERT_EQ(errors_.shown.size(), 1) << Errors();
  EXPECT_TRUE(errors_.shown[0].contains("ardel.INI")) << Errors();
  EXPECT_EQ(spin->value(), 3);
}

// Reading the setting never ends the start-up; the file stays as it is.
TEST_F(ShellTest, UnreadableConfigurationFileGivesPort1AndIsLeftAlone) {
  files_.WriteDataFiles();
  std::filesystem::create_directory(files_.ConfigFile());
  auto form = Start();
  ASSERT_EQ(errors_.shown.size(), 1) << Errors();
  EXPECT_TRUE(errors_.shown[0].contains("ardel.INI")) << Errors();
  EXPECT_EQ(form->App().ComPort().Device(), servers_[0].Url());
  EXPECT_EQ(Find<QLabel>(*form, "Label2")->text(), "Station: 0");  // to the end
  form.reset();
  ASSERT_EQ(errors_.shown.size(), 2) << Errors();  // the write at the exit
  EXPECT_TRUE(std::filesystem::is_directory(files_.ConfigFile()));
}

TEST_F(ShellTest, MissingRuleSetFileLeavesStation0UnshownAndTheWindowUsable) {
  WriteFileAtomically(files_.StationFile(), StationFileWithStation0());
  auto form = Start();
  ASSERT_EQ(errors_.shown.size(), 1) << Errors();
  EXPECT_TRUE(errors_.shown[0].contains("veskRuleset.txt")) << Errors();
  EXPECT_EQ(form->App().StationTable().Cell(StationColumn(0), kSbiRow), "FF800080");  // loaded
  EXPECT_EQ(Find<QLabel>(*form, "Label2")->text(), "Station 0");
  EXPECT_EQ(Find<QLineEdit>(*form, "Edit3")->text(), "FFFFFF80");
  EXPECT_EQ(Find<QListView>(*form, "ListBox1")->model()->rowCount(), 0);
  EXPECT_TRUE(form->App().ComPort().IsOpen());
  EXPECT_TRUE(form->App().Queues().TransmitPermit());

  // The operator writes rules; there was no file, so they are kept at exit.
  Find<QPlainTextEdit>(*form, "Memo2")->setPlainText("if   *\nthen say seen");
  form.reset();
  EXPECT_EQ(errors_.shown.size(), 1) << Errors();
  TStationTable saved;
  LoadStationTable(saved, files_.StationFile());  // written back as loaded
  EXPECT_EQ(saved.Cell(StationColumn(0), kSbiRow), "FF800080");
  EXPECT_EQ(saved.Cell(StationColumn(0), InfiRow(0)), "FF800081");
  EXPECT_EQ(ReadWholeFile(files_.RuleSetFile()), "if   *\r\nthen say seen");
}

TEST_F(ShellTest, PortThatCannotOpenIsShownAndTheStartUpGoesOn) {
  files_.WriteDataFiles(kRules);
  WriteFileAtomically(files_.ConfigFile(), "[Ports]\nCOM2=/dev/ardel-no-such-device\n[Link]\nComport=2\n");
  auto form = Start(files_.Options());
  ASSERT_EQ(errors_.shown.size(), 1) << Errors();
  EXPECT_TRUE(errors_.shown[0].startsWith("TCOMPORT : cannot open COM2")) << Errors();
  EXPECT_FALSE(form->App().ComPort().IsOpen());
  EXPECT_TRUE(form->App().PortRetryTimer().IsActive());
  EXPECT_FALSE(WarningShown(*form));  // the start-up got to its end
  EXPECT_EQ(form->App().StationTable().Cell(StationColumn(0), kHeadingRow), "0");
  EXPECT_EQ(form->App().Queues().RepeatCntr(), 3);
  EXPECT_TRUE(RepeatDisplay(*form).endsWith("RepeatCntr: 3"));
  EXPECT_TRUE(form->App().Queues().TransmitPermit());
  EXPECT_EQ(form->App().ProgramDirectory(), files_.Path());
  EXPECT_EQ(Find<QPlainTextEdit>(*form, "Memo2")->toPlainText(), "/ a rule set\nif   8B B4 *\nthen say INFI entry");
  EXPECT_EQ(Find<QLabel>(*form, "Label2")->text(), "Station: 0");

  // The operator picks the right port for the next start.
  Find<QSpinBox>(*form, "SpinEdit2")->setValue(1);
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), "[Ports]\nCOM2=/dev/ardel-no-such-device\n[Link]\nComport=1\n");
  form.reset();
  EXPECT_EQ(errors_.shown.size(), 1) << Errors();
}

// After a failed start-up step, neither data file is written over unless it was loaded,
// and nothing goes anywhere but the program directory: not at a station tab switch, not
// at the exit.
TEST_F(ShellTest, FailedStartUpNeverWritesOverAFileItDidNotLoad) {
  struct TCase {
    const char* what;
    const char* config;
    std::string stationFile;  // empty: a directory in its place
    std::string ruleSetFile;  // likewise
    const char* error;
    bool stationFileOwn;  // loaded, so written back
    bool ruleSetOwn;
  };
  const std::string good = StationFileWithStation0();
  const TCase cases[] = {
      // The start-up goes on past a port that cannot be opened: both files are its own.
      {"port", "[Link]\nComport=4\n[Ports]\nCOM4=/dev/ardel-none\n", good, kRules, "TCOMPORT", true, true},
      {"short station file", "", "32\r\n17\r\n,0,1\r\n", kRules, "veskData.txt", false, false},
      {"count that is no number", "", "x32\r\n17\r\n", kRules, "veskData.txt", false, false},
      {"unreadable station file", "", "", kRules, "veskData.txt", false, false},
      {"unreadable rule-set file", "", good, "", "veskRuleset.txt", true, false},
  };
  const auto cwdFile = std::filesystem::current_path() / "veskData.txt";
  const bool cwdBefore = std::filesystem::exists(cwdFile);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    errors_.shown.clear();
    std::filesystem::remove_all(files_.StationFile());
    std::filesystem::remove_all(files_.RuleSetFile());
    std::filesystem::remove_all(files_.ConfigFile());
    if (*c.config != '\0') WriteFileAtomically(files_.ConfigFile(), c.config);
    auto put = [](const std::string& path, const std::string& content) {
      if (content.empty()) {
        std::filesystem::create_directory(path);
      } else {
        WriteFileAtomically(path, content);
      }
    };
    put(files_.StationFile(), c.stationFile);
    put(files_.RuleSetFile(), c.ruleSetFile);
    const std::uint64_t stationIdentity = FileIdentity(files_.StationFile());
    const std::uint64_t ruleSetIdentity = FileIdentity(files_.RuleSetFile());
    ASSERT_NE(stationIdentity, 0u);
    ASSERT_NE(ruleSetIdentity, 0u);

    auto form = Start(*c.config != '\0' ? files_.Options() : files_.Options(PortMap()));
    ASSERT_EQ(errors_.shown.size(), 1) << Errors();
    EXPECT_TRUE(errors_.shown[0].contains(c.error)) << Errors();
    // Still usable: station tabs switch without complaint, an SBI typed is kept in the table.
    auto* tabs = Find<QTabBar>(*form, "TabControl1");
    Find<QLineEdit>(*form, "Edit3")->setText("FF800100");
    tabs->setCurrentIndex(2);
    tabs->setCurrentIndex(0);
    EXPECT_EQ(form->App().StationTable().Cell(StationColumn(0), kSbiRow), "FF800100");
    EXPECT_EQ(Find<QLabel>(*form, "Label2")->text(), "Station: 0");
    Find<QPlainTextEdit>(*form, "Memo2")->setPlainText("typed");
    form.reset();
    // Each file not written over is said, and what it would have received is beside it.
    EXPECT_EQ(errors_.shown.size(), 1 + !c.stationFileOwn + !c.ruleSetOwn) << Errors();
    EXPECT_EQ(Exists(files_.File("veskData.txt.unsaved")), !c.stationFileOwn);
    EXPECT_EQ(Exists(files_.File("veskRuleset.txt.unsaved")), !c.ruleSetOwn);
    if (!c.ruleSetOwn) EXPECT_EQ(ReadWholeFile(files_.File("veskRuleset.txt.unsaved")), "typed");
    std::filesystem::remove(files_.File("veskData.txt.unsaved"));
    std::filesystem::remove(files_.File("veskRuleset.txt.unsaved"));

    if (c.ruleSetOwn) {
      EXPECT_EQ(ReadWholeFile(files_.RuleSetFile()), "typed");
    } else {
      EXPECT_EQ(FileIdentity(files_.RuleSetFile()), ruleSetIdentity);
    }
    if (c.stationFileOwn) {
      TStationTable saved;
      LoadStationTable(saved, files_.StationFile());
      EXPECT_EQ(saved.Cell(StationColumn(0), kSbiRow), "FF800100");
    } else {
      EXPECT_EQ(FileIdentity(files_.StationFile()), stationIdentity);
      if (!c.stationFile.empty()) {
        EXPECT_EQ(ReadWholeFile(files_.StationFile()), c.stationFile);
      }
    }
    if (!c.ruleSetOwn && !c.ruleSetFile.empty()) {
      EXPECT_EQ(ReadWholeFile(files_.RuleSetFile()), c.ruleSetFile);
    }
    EXPECT_EQ(std::filesystem::exists(cwdFile), cwdBefore);
    EXPECT_FALSE(Exists(files_.File("veskData.txt.new")));
  }
}

TEST_F(ShellTest, ShutDownEndsAtAFailingStepAndRunsOnce) {
  files_.WriteDataFiles(kRules);
  auto form = Start();
  Find<QPlainTextEdit>(*form, "Memo2")->setPlainText("changed");
  std::filesystem::remove(files_.StationFile());
  std::filesystem::create_directory(files_.StationFile());  // the rename over it fails
  form->FormDestroy();
  ASSERT_EQ(errors_.shown.size(), 1) << Errors();
  EXPECT_TRUE(errors_.shown[0].contains("cannot write")) << Errors();
  EXPECT_EQ(ReadWholeFile(files_.RuleSetFile()), kRules);
  EXPECT_FALSE(Exists(files_.ConfigFile()));

  // Closing and destroying the window do not run it again.
  std::filesystem::remove(files_.StationFile());
  form->close();
  form->FormDestroy();
  form.reset();
  EXPECT_EQ(errors_.shown.size(), 1) << Errors();
  EXPECT_FALSE(Exists(files_.StationFile()));
  EXPECT_FALSE(Exists(files_.ConfigFile()));
}

TEST_F(ShellTest, WithoutTheSequencesNoFileAndNoPortIsTouched) {
  files_.WriteDataFiles(kRules);
  TFormOptions options = files_.Options(PortMap());
  options.runSequences = false;
  auto form = Start(options);
  EXPECT_FALSE(form->App().ComPort().IsOpen());
  EXPECT_EQ(form->App().ProgramDirectory(), "");
  EXPECT_EQ(form->App().ConfigFileName(), "");
  EXPECT_TRUE(RepeatDisplay(*form).endsWith("RepeatCntr: 0"));
  form.reset();
  EXPECT_FALSE(Exists(files_.ConfigFile()));
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
}

TEST_F(ShellTest, SetupPage) {
  TForm1 form;
  auto* page = Find<QWidget>(form, "TabSheet6");
  auto* spin = Find<QSpinBox>(form, "SpinEdit2");
  auto* warning = Find<QLabel>(form, "Label18");
  auto* group = Find<QGroupBox>(form, "GroupBox1");
  ASSERT_TRUE(page && spin && warning && group);
  EXPECT_TRUE(page->isAncestorOf(spin));
  EXPECT_EQ(spin->minimum(), 1);
  EXPECT_EQ(spin->maximum(), 4);
  EXPECT_EQ(spin->singleStep(), 1);
  EXPECT_EQ(spin->value(), 1);
  EXPECT_EQ(warning->text(), "you must close and reopen the application to activate the new comport !!!");
  EXPECT_TRUE(warning->isHidden());
  EXPECT_TRUE(warning->font().bold());
  EXPECT_TRUE(warning->autoFillBackground());
  EXPECT_EQ(warning->palette().color(QPalette::Window), QColor(255, 0, 0));
  EXPECT_EQ(group->title(), "Interface");
  QStringList texts;
  for (auto* label : page->findChildren<QLabel*>()) {
    texts << label->text();
    if (label->text() == "ComPort (1..4):") {
      EXPECT_EQ(label->buddy(), spin);
    }
    if (label->text() == "Interval Time (ms)") {
      EXPECT_EQ(label->buddy(), Find<QSpinBox>(form, "SpinEdit1"));
    }
  }
  EXPECT_TRUE(texts.contains("9600baud   8data   1stp   noparity"));
  EXPECT_TRUE(texts.contains("Build 13.10.07"));
  EXPECT_TRUE(group->isAncestorOf(page->findChild<QLabel*>("Label21")));

  if (const char* grabDir = std::getenv("ARDEL_GRAB_DIR")) {
    warning->show();
    form.show();
    Find<QTabWidget>(form, "PageControl1")->setCurrentWidget(page);
    QApplication::processEvents();
    form.grab().save(QString::fromLatin1(grabDir) + "/setup_page.png");
  }
}

}  // namespace
}  // namespace ardel::ui
