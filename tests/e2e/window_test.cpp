// The real window with its real port, against ardel-bus running as its own process on
// the far side of a pseudo-terminal, in a program directory of its own.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QListView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "support/processes.h"
#include "link/telegram.h"
#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

using namespace std::chrono_literals;
using ardel::testing::CountOf;
using ardel::testing::TBusProcess;
using ardel::testing::TProgramDirectory;

// The bus's default stations 0 to 3.
const char* const kSbis[] = {"FFFFFF80", "FFFFFF00", "FFFFFE80", "FFFFFE00"};

// Slower than the program's 100 ms, so that a station's answer comes in time for the
// next tick even on a loaded machine; a late answer would make the tick repeat.
constexpr int kTickMs = 200;

class EndToEnd : public ::testing::Test {
 protected:
  // Starts the bus with these options and then the window, whose station file names the
  // bus's four default stations with empty input filters.
  void Start(std::vector<std::string> busOptions, std::string_view rules = "") {
    busOptions.insert(busOptions.begin(), {"--stations", "4"});
    bus_.Start(std::move(busOptions));
    TStationTable table;
    table.WriteHeadings();
    for (int s = 0; s < 4; ++s) table.SetCell(StationColumn(s), kSbiRow, kSbis[s]);
    WriteFileAtomically(files_.StationFile(), StationFileText(table));
    WriteFileAtomically(files_.RuleSetFile(), rules);

    TFormOptions options = files_.Options({{"COM1", bus_.Path()}});
    // Once the bus has gone, its terminal's number may be another program's: never
    // open it again.
    options.portRetryInterval = std::chrono::hours(1);
    form_ = std::make_unique<TForm1>(std::move(options));
    form_->SetErrorDialog(&errors_);
    form_->resize(1000, 750);
    form_->show();
    ASSERT_TRUE(form_->App().ComPort().IsOpen()) << Errors();
    Find<QSpinBox>("SpinEdit1")->setValue(kTickMs);
    Pump(50ms);
    ASSERT_TRUE(errors_.shown.isEmpty()) << Errors();
  }

  template <typename T>
  T* Find(const char* name) const {
    T* child = form_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  void Click(const char* name) const { Find<QAbstractButton>(name)->click(); }
  void ShowStationTab(int s) const { Find<QTabBar>("TabControl1")->setCurrentIndex(s); }

  // Runs the event loop until the condition holds; false after the time limit.
  template <typename F>
  static bool PumpUntil(F done, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  static void Pump(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
  }

  // Link log lines in this colour that hold the text.
  std::size_t LogCount(TColor color, std::string_view text) const {
    std::size_t count = 0;
    const TLinkLog& log = form_->App().LinkLog();
    for (std::size_t i = 0; i < log.Count(); ++i) {
      if (log.Line(i).color == color && log.Line(i).text.find(text) != std::string::npos) ++count;
    }
    return count;
  }
  std::string LogText() const {
    std::string text;
    const TLinkLog& log = form_->App().LinkLog();
    for (std::size_t i = 0; i < log.Count(); ++i) text += log.Line(i).text + "\n";
    return text;
  }
  std::string Errors() const { return errors_.shown.join(" | ").toStdString(); }
  bool QueueEmpty() const { return form_->App().Queues().Commands().Count() == 0; }

  // Destroyed in this order: the window writes its files before the bus and the
  // directory go.
  TProgramDirectory files_;
  TBusProcess bus_;
  TRecordingErrorDialog errors_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(EndToEnd, ReadInfiFillsTheTableAndTheFileWrittenAtExit) {
  // The bus reads its stations from a file in the program's own format, with entries
  // that the window's file does not have.
  TStationTable busTable;
  busTable.WriteHeadings();
  for (int s = 0; s < 4; ++s) busTable.SetCell(StationColumn(s), kSbiRow, kSbis[s]);
  std::vector<std::string> entries;
  for (int i = 0; i < 16; ++i) {
    entries.push_back("12AB00" + HexByte(static_cast<std::uint8_t>(0x30 + i)));
    busTable.SetCell(StationColumn(2), InfiRow(i), entries.back());
  }
  WriteFileAtomically(bus_.File("stations.txt"), StationFileText(busTable));
  Start({"--data-file", bus_.File("stations.txt")});

  ShowStationTab(2);
  ASSERT_EQ(Find<QLineEdit>("Edit3")->text(), "FFFFFE80");
  Click("Button11");
  EXPECT_EQ(form_->App().Queues().Commands().Count(), 16u);
  auto column = [&] {
    std::vector<std::string> cells;
    for (int i = 0; i < 16; ++i) cells.push_back(form_->App().StationTable().Cell(StationColumn(2), InfiRow(i)));
    return cells;
  };
  ASSERT_TRUE(PumpUntil([&] { return column() == entries && QueueEmpty(); }))
      << LogText() << bus_.Output();

  // The list shows the station as it now stands in the table.
  QAbstractItemModel* list = Find<QListView>("ListBox1")->model();
  ASSERT_EQ(list->rowCount(), 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(list->index(i, 0).data().toString().toStdString(), entries[i]);
  EXPECT_EQ(LogCount(colors::kError, "time out"), 0u) << LogText();

  form_.reset();  // the shut-down
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
  TStationTable saved;
  LoadStationTable(saved, files_.StationFile());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(saved.Cell(StationColumn(2), InfiRow(i)), entries[i]) << i;
  for (int s = 0; s < 4; ++s) EXPECT_EQ(saved.Cell(StationColumn(s), kSbiRow), kSbis[s]);
}

TEST_F(EndToEnd, ChangeNowReportsTheStationsAnswerInPlainWords) {
  Start({"--lrn", "1"});
  struct TCase {
    int station;
    const char* newSbi;
    std::vector<std::string> lines;
  };
  const TCase cases[] = {
      {0, "FF800000",
       {"Station base ID change from FFFFFF80 to FF800000",
        " ended with return Code: F7  (Station not in LRN-Mode. New ID not set)",
        " -> Dont forget to build a new Station-Tab with new SBI..."}},
      {1, "FF800100",
       {"Station base ID change from FFFFFF00 to FF800100", " ended with return Code: 00  (new ID base set)",
        " -> Dont forget to build a new Station-Tab with new SBI..."}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.station);
    form_->App().Information().Clear();
    ShowStationTab(c.station);
    QLineEdit* newSbi = Find<QLineEdit>("Edit4");
    newSbi->selectAll();
    QTest::keyClicks(newSbi, QString::fromLatin1(c.newSbi));
    ASSERT_EQ(newSbi->text(), c.newSbi);
    Click("ButtonChangeNow");
    ASSERT_TRUE(PumpUntil([&] { return form_->App().Information().Lines().size() >= 3 && QueueEmpty(); }))
        << LogText() << bus_.Output();
    const std::vector<std::string>& lines = form_->App().Information().Lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), c.lines);
  }
  // The station in LRN-Mode took its new SBI; the table keeps the old one.
  EXPECT_EQ(bus_.CountInOutput("SBI is now FF800100"), 1u) << bus_.Output();
  EXPECT_EQ(form_->App().StationTable().Cell(StationColumn(1), kSbiRow), "FFFFFF00");
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
}

TEST_F(EndToEnd, RuleQueuesACommandThatTheBusReceives) {
  // Station 1's sender module 5 presses a rocker; the rule switches station 0's output on.
  Start({"--senders", "1:5", "--sender-interval", "300", "--ack-timeout", "2000"},
        "/ sender 5 of station 1 switches station 0 on\r\n"
        "if   6B 05 ?0000000 FFFFFF05 10\r\n"
        "then AB C0 00000000 FFFFFF80 FF   output on\r\n");
  const std::string heard = "<- AB C0 00000000 FFFFFF80 FF   station 0: output on";
  ASSERT_TRUE(PumpUntil([&] { return bus_.CountInOutput(heard) > 0; })) << LogText() << bus_.Output();
  // The station's answer came back and completed the command.
  ASSERT_TRUE(PumpUntil([&] { return LogCount(colors::kReceived, "8B AC 00000000 FFFFFF80 FF") > 0; }))
      << LogText();
  EXPECT_GE(LogCount(colors::kSent, "AB C0 00000000 FFFFFF80 FF   output on"), 1u) << LogText();
  // Releases (status 00) do not match the rule: at most one command per press.
  ASSERT_TRUE(PumpUntil([&] { return bus_.CountInOutput(": release") >= 2; })) << bus_.Output();
  EXPECT_LE(bus_.CountInOutput("<- AB C0 "), bus_.CountInOutput(": press ")) << bus_.Output();
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
}

TEST_F(EndToEnd, TheDemosRuleSetSwitchesSignalOnAtAPressOnly) {
  // The demo's bus, faster: sender 0 of station 0 and sender 5 of station 1.
  Start({"--senders", "0,1:05", "--sender-interval", "200", "--ack-timeout", "2000"},
        ReadWholeFile(ARDEL_DEMO_RULESET));
  // The Signal_On telegram of the station commands, as the button sends it.
  const std::string signalOn = "AB C0 00000000 FFFFFF80 FF";
  ASSERT_TRUE(PumpUntil([&] { return bus_.CountInOutput("<- " + signalOn + "   station 0: output on") > 0; }))
      << LogText() << bus_.Output();
  ASSERT_TRUE(PumpUntil([&] {
    return bus_.CountInOutput("FFFFFF80 of station 0: release") >= 2 && QueueEmpty();
  })) << bus_.Output();
  // One Signal_On per press of FFFFFF80 (the last press may still be on its way), none
  // for its releases nor for the other sender.
  const std::size_t presses = bus_.CountInOutput("FFFFFF80 of station 0: press ");
  EXPECT_LE(bus_.CountInOutput("<- AB C0 "), presses) << bus_.Output();
  EXPECT_GE(bus_.CountInOutput("<- AB C0 ") + 1, presses) << bus_.Output();
  EXPECT_EQ(bus_.CountInOutput("<- AB C0 "), bus_.CountInOutput("<- " + signalOn)) << bus_.Output();
  const std::vector<std::string>& messages = form_->App().MessageField().Lines();
  auto said = [&](const std::string& text) {
    return std::count_if(messages.begin(), messages.end(),
                         [&](const std::string& line) { return line.find(text) != std::string::npos; });
  };
  EXPECT_GE(said("rocker of FFFFFF80 pressed: station 0 signal on"), 1);
  EXPECT_GE(said("sender FFFFFF05 of station 1 seen"), 2);
  EXPECT_EQ(LogCount(colors::kError, ""), 0u) << LogText();
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
}

TEST_F(EndToEnd, CommandToASilentStationIsSentThreeTimesThenDropped) {
  Start({"--silent", "1"});
  ShowStationTab(1);
  Click("ButtonSignalOn");
  ASSERT_TRUE(PumpUntil([&] { return LogCount(colors::kError, "time out") > 0; })) << LogText();
  const std::string command = "AB C0 00000000 FFFFFF00 FF";
  EXPECT_EQ(LogCount(colors::kSent, command), 3u) << LogText();
  EXPECT_EQ(LogCount(colors::kPurple, "repeat it"), 2u) << LogText();
  EXPECT_EQ(LogCount(colors::kError, "time out"), 1u) << LogText();
  EXPECT_TRUE(QueueEmpty());
  EXPECT_EQ(form_->App().Queues().RepeatCntr(), 3);
  // All three reached the bus, where the station kept quiet.
  ASSERT_TRUE(PumpUntil([&] { return bus_.CountInOutput("<- " + command + "   station 1 is silent") >= 3; }))
      << bus_.Output();
  Pump(2 * std::chrono::milliseconds(kTickMs));
  EXPECT_EQ(bus_.CountInOutput("<- " + command), 3u) << bus_.Output();
  EXPECT_EQ(LogCount(colors::kSent, command), 3u) << LogText();
  // The tab "Stations" says so too.
  EXPECT_EQ(form_->App().Information().Lines(),
            std::vector<std::string>{"Signal_On to FFFFFF00: no answer after three transmissions, dropped"});
}

TEST_F(EndToEnd, UnderAlwaysEverySenderTelegramIsAcknowledgedOnceAndNeverRepeated) {
  Start({"--senders", "0,1:7F,3:2", "--sender-interval", "150", "--ack-timeout", "2000"});
  Click("RadioButton3");
  Click("RadioButton1");
  ASSERT_TRUE(Find<QRadioButton>("RadioButton1")->isChecked());
  ASSERT_TRUE(PumpUntil([&] { return bus_.CountInOutput(": ACK after 1st transmission") >= 8; }))
      << LogText() << bus_.Output();
  ASSERT_EQ(bus_.Stop(), 0);
  // The window has dealt with everything the bus sent before it stopped.
  auto received = [&] { return LogCount(colors::kReceived, "6B 05 "); };
  auto acknowledged = [&] { return LogCount(colors::kSent, "AB AC "); };
  EXPECT_TRUE(PumpUntil([&] { return received() == acknowledged(); }, 5s)) << LogText();

  const long sent = bus_.SummaryCount("senders sent");
  const long acks = bus_.SummaryCount("acks seen");
  EXPECT_EQ(bus_.SummaryCount("repeats"), 0) << bus_.Summary();
  EXPECT_EQ(bus_.SummaryCount("unacknowledged"), 0) << bus_.Summary();
  // The last one may have been on its way when the bus stopped: a pseudo-terminal's
  // master that closes takes with it what the other side had not read yet.
  EXPECT_GE(static_cast<long>(received()), sent - 1) << LogText();
  EXPECT_LE(static_cast<long>(received()), sent) << LogText();
  EXPECT_GE(acks, sent - 1) << bus_.Summary();
  EXPECT_LE(acks, sent) << bus_.Summary();
  EXPECT_EQ(bus_.CountInOutput(": ACK after 1st transmission"), static_cast<std::size_t>(acks)) << bus_.Output();
  EXPECT_EQ(bus_.CountInOutput("that no sender waits for"), 0u) << bus_.Output();
  EXPECT_EQ(bus_.CountInOutput("no ACK: repeat"), 0u) << bus_.Output();
  // Each acknowledgement names the telegram it answers: header AB, org AC, the rest as
  // received.
  const TLinkLog& log = form_->App().LinkLog();
  for (std::size_t i = 0; i < log.Count(); ++i) {
    const std::string& text = log.Line(i).text;
    const std::size_t at = text.find("6B 05 ");
    if (log.Line(i).color != colors::kReceived || at == std::string::npos) continue;
    ASSERT_LT(i + 1, log.Count());
    const std::string& next = log.Line(i + 1).text;
    EXPECT_EQ(log.Line(i + 1).color, colors::kSent);
    EXPECT_NE(next.find("AB AC " + text.substr(at + 6, 20)), std::string::npos) << text << "\n" << next;
  }
  EXPECT_TRUE(errors_.shown.isEmpty()) << Errors();
}

}  // namespace
}  // namespace ardel::ui
