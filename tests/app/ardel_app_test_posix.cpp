// The program without a window on Linux's ports: the start-up, the tick, a port that
// goes away and comes back, the shut-down, and the quit signals.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/quit_signals.h"
#include "app_fixture.h"
#include "port_fixtures.h"
#include "serial/pty_fixture.h"
#include "util/text_file.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::AppTest;
using testing::Contains;
using testing::LinesIn;
using testing::TDeviceLink;
using testing::TFakeEventLoop;
using testing::TProgramDirectory;
using testing::Wire;
using testing::TPty;

TEST_F(AppTest, StartUpPortLossWithRetriesAndShutDown) {
  files_.WriteDataFiles("/ rules\r\nif   8B B4 *\r\nthen say seen");
  TDeviceLink link;
  auto first = std::make_unique<TPty>();
  link.PointTo(first->Path());
  auto app = Start(link.Path());

  // The whole start-up.
  EXPECT_TRUE(errors_.shown.empty()) << errors_.shown.front();
  EXPECT_TRUE(app->ComPort().IsOpen());
  EXPECT_EQ(app->ComPort().Device(), link.Path());
  EXPECT_EQ(app->PortNumber().Value(), 1);
  EXPECT_FALSE(app->PortWarning().Value());
  EXPECT_EQ(app->Queues().RepeatCntr(), 3);
  EXPECT_TRUE(app->Queues().TransmitPermit());
  EXPECT_EQ(app->ProgramDirectory(), files_.Path());
  EXPECT_EQ(app->StationTable().Cell(StationColumn(15), kHeadingRow), "F");
  EXPECT_EQ(app->StationTab().StationHeading().Text(), "Station: 0");
  EXPECT_EQ(app->RuleSet().Lines().size(), 3u);
  EXPECT_TRUE(app->TickTimer().IsActive());
  EXPECT_EQ(app->TickTimer().Interval(), 100ms);

  // The tick runs on the loop's clock: the command goes out at the first tick.
  app->Queues().EnqueueCommand("AB B0 00000000 FFFFFF80 00");
  loop_.Advance(99ms);
  EXPECT_TRUE(LinesIn(app->LinkLog(), colors::kSent).empty());
  EXPECT_EQ(app->DateTime().Text(), "Date Time");
  loop_.Advance(1ms);
  EXPECT_EQ(LinesIn(app->LinkLog(), colors::kSent).size(), 1u);
  EXPECT_NE(app->DateTime().Text(), "Date Time");
  std::string seen;
  ASSERT_TRUE(loop_.RunUntil([&] { return (seen += first->ReadAvailable()).size() >= 15; }));

  // Pulled: the name goes first, so no retry reaches another program's terminal.
  link.Remove();
  first.reset();
  // The command's time-out is red too; only the port's lines count here.
  auto red = [&] {
    std::vector<std::string> lines;
    for (std::string& line : LinesIn(app->LinkLog(), colors::kError)) {
      if (Contains(line, "   port ")) lines.push_back(std::move(line));
    }
    return lines;
  };
  ASSERT_TRUE(loop_.RunUntil([&] { return !red().empty(); }));
  EXPECT_FALSE(app->ComPort().IsOpen());
  EXPECT_TRUE(Contains(red()[0], "COM1")) << red()[0];
  EXPECT_TRUE(Contains(red()[0], link.Path())) << red()[0];
  EXPECT_TRUE(app->PortRetryTimer().IsActive());
  EXPECT_EQ(app->PortRetryTimer().Interval(), 1000ms);

  // Attempts while it is away add nothing to the log.
  loop_.Advance(3000ms);
  EXPECT_FALSE(app->ComPort().IsOpen());
  EXPECT_EQ(red().size(), 1u);

  // Back: the next attempt, a second after the last, opens the port that was lost, not
  // the one chosen for the next start.
  app->ComPort().Port = "COM2";
  TPty second;
  link.PointTo(second.Path());
  auto black = [&] { return LinesIn(app->LinkLog(), colors::kBlack); };
  const std::size_t blackBefore = black().size();
  loop_.Advance(999ms);
  EXPECT_FALSE(app->ComPort().IsOpen());
  loop_.Advance(1ms);
  ASSERT_TRUE(app->ComPort().IsOpen());
  ASSERT_EQ(black().size(), blackBefore + 1);
  EXPECT_TRUE(Contains(black().back(), "COM1 (" + link.Path() + ") is back")) << black().back();
  EXPECT_EQ(app->ComPort().Port, "COM2");
  EXPECT_FALSE(app->PortRetryTimer().IsActive());

  const TTelegramBody answer = {0x8B, 0xB4, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x05};
  second.Write(Wire(answer));
  ASSERT_TRUE(loop_.RunUntil([&] { return !LinesIn(app->LinkLog(), colors::kReceived).empty(); }));

  // The shut-down writes what the operator did, once.
  app->StationTable().SetCell(StationColumn(7), kSbiRow, "FF800380");
  EXPECT_TRUE(app->FormDestroy());
  EXPECT_TRUE(errors_.shown.empty()) << errors_.shown.front();
  TStationTable saved;
  LoadStationTable(saved, files_.StationFile());
  EXPECT_EQ(saved.Cell(StationColumn(7), kSbiRow), "FF800380");
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), "[Link]\nComport=1\n");
  std::filesystem::remove(files_.StationFile());
  EXPECT_TRUE(app->FormDestroy());
  EXPECT_FALSE(std::filesystem::exists(files_.StationFile()));
  app.reset();
}

// An adapter not plugged in at the start: the error shows, the start-up goes on, and
// the port opens once the device is there.
TEST_F(AppTest, APortMissingAtStartUpIsTriedAgainAndTheRestStartsUp) {
  files_.WriteDataFiles("/ rules");
  TDeviceLink link;
  auto app = Start(link.Path());
  ASSERT_EQ(errors_.shown.size(), 1u);
  EXPECT_EQ(errors_.shown[0].rfind("TCOMPORT : cannot open COM1", 0), 0u) << errors_.shown[0];
  EXPECT_FALSE(app->ComPort().IsOpen());
  EXPECT_EQ(app->Queues().RepeatCntr(), 3);
  EXPECT_TRUE(app->Queues().TransmitPermit());
  EXPECT_EQ(app->ProgramDirectory(), files_.Path());
  EXPECT_EQ(app->StationTable().Cell(StationColumn(0), kHeadingRow), "0");
  EXPECT_EQ(app->RuleSet().Text(), "/ rules");
  EXPECT_EQ(app->StationTab().StationHeading().Text(), "Station: 0");
  const auto red = LinesIn(app->LinkLog(), colors::kError);
  ASSERT_EQ(red.size(), 1u);
  EXPECT_TRUE(Contains(red[0], "   port COM1 (" + link.Path() + ")")) << red[0];
  ASSERT_TRUE(app->PortRetryTimer().IsActive());
  EXPECT_EQ(app->PortRetryTimer().Interval(), 1000ms);

  loop_.Advance(1000ms);
  EXPECT_FALSE(app->ComPort().IsOpen());
  TPty pty;
  link.PointTo(pty.Path());
  loop_.Advance(1000ms);
  ASSERT_TRUE(app->ComPort().IsOpen());
  EXPECT_TRUE(Contains(LinesIn(app->LinkLog(), colors::kBlack).back(), "COM1 (" + link.Path() + ") is back"));
  EXPECT_FALSE(app->PortRetryTimer().IsActive());
  EXPECT_EQ(errors_.shown.size(), 1u);
  EXPECT_TRUE(app->FormDestroy());
}

// A folder that holds only a rule set is a first start: the rules run from the start,
// and the data file is made at the end. A data file that is there but cannot be read
// still ends the start-up, so nothing is written over it.
TEST_F(AppTest, AFirstStartRunsTheRulesAndMakesTheDataFileAtTheEnd) {
  struct TCase {
    const char* what;
    bool stationFileIsDirectory;
    bool startsUp;
  };
  const std::string rules = "if   8B B0 *\r\nthen say version";
  const TTelegramBody answer = {0x8B, 0xB0, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x80, 0x00};
  for (const TCase c : {TCase{"missing", false, true}, TCase{"unreadable", true, false}}) {
    SCOPED_TRACE(c.what);
    TProgramDirectory files;
    WriteFileAtomically(files.RuleSetFile(), rules);
    if (c.stationFileIsDirectory) std::filesystem::create_directory(files.StationFile());
    errors_.shown.clear();
    TPty pty;
    auto app = std::make_unique<TArdelApp>(loop_, errors_, files.Options<TAppOptions>({{"COM1", pty.Path()}}));
    app->FormCreate();
    loop_.RunPending();

    ASSERT_EQ(errors_.shown.size(), 1u);
    EXPECT_TRUE(Contains(errors_.shown[0], files.StationFile())) << errors_.shown[0];
    EXPECT_EQ(Contains(errors_.shown[0], "written when Ardel closes"), c.startsUp) << errors_.shown[0];
    EXPECT_EQ(app->RuleSet().Lines().size(), c.startsUp ? 2u : 0u);
    EXPECT_EQ(app->StationTab().StationHeading().Text() == "Station: 0", c.startsUp)
        << app->StationTab().StationHeading().Text();
    pty.Write(Wire(answer));
    ASSERT_TRUE(loop_.RunUntil([&] { return !LinesIn(app->LinkLog(), colors::kReceived).empty(); }));
    loop_.Advance(100ms);
    EXPECT_EQ(app->MessageField().Count(), c.startsUp ? 1u : 0u);
    if (c.startsUp) EXPECT_TRUE(Contains(app->MessageField().At(0), "version")) << app->MessageField().At(0);

    EXPECT_EQ(app->FormDestroy(), c.startsUp);
    EXPECT_EQ(std::filesystem::is_directory(files.StationFile()), c.stationFileIsDirectory);
    if (c.startsUp) {
      TStationTable saved;
      LoadStationTable(saved, files.StationFile());
      EXPECT_EQ(saved.Cell(StationColumn(15), kHeadingRow), "F");
      EXPECT_EQ(ReadWholeFile(files.RuleSetFile()), rules);
      EXPECT_EQ(errors_.shown.size(), 1u) << errors_.shown.back();
    }
  }
}


// A telegram that finds the port closed is logged as today, followed by one red line
// that says why it did not go out; the status bar counts only what reached the port.
TEST_F(AppTest, ASendThatCannotGoOutSaysWhy) {
  struct TCase {
    const char* what;
    bool lost;  // else never opened
  };
  for (const TCase c : {TCase{"lost", true}, TCase{"cannot open", false}}) {
    SCOPED_TRACE(c.what);
    TProgramDirectory files;
    files.WriteDataFiles();
    TDeviceLink link;
    auto pty = std::make_unique<TPty>();
    if (c.lost) link.PointTo(pty->Path());
    auto app = std::make_unique<TArdelApp>(loop_, errors_, files.Options<TAppOptions>({{"COM1", link.Path()}}));
    app->FormCreate();
    loop_.RunPending();
    if (c.lost) {
      ASSERT_TRUE(app->ComPort().IsOpen());
      link.Remove();
      pty.reset();
      ASSERT_TRUE(loop_.RunUntil([&] { return app->PortStatus().Value().state == psLost; }));
    }
    ASSERT_FALSE(app->ComPort().IsOpen());

    app->LinkLog().Clear();
    app->SendCommandLine();
    loop_.Advance(100ms);
    ASSERT_EQ(app->LinkLog().Count(), 2u);
    EXPECT_EQ(app->LinkLog().Line(0).color, colors::kSent);
    EXPECT_TRUE(Contains(app->LinkLog().Line(0).text, "AB B0 00000000 FFFFFF80 00   get SW Version"))
        << app->LinkLog().Line(0).text;
    EXPECT_EQ(app->LinkLog().Line(1).color, colors::kError);
    const std::string expected =
        c.lost ? "not sent: port COM1 is lost: trying again every second"
               : "not sent: port COM1 cannot be opened: " + link.Path() + ": No such file or directory";
    const std::string& red = app->LinkLog().Line(1).text;
    EXPECT_EQ(red.rfind("E ", 0), 0u) << red;
    EXPECT_TRUE(red.ends_with("   " + expected)) << red;
    EXPECT_EQ(app->TransmitPath().TelegramsSent(), 1u);
    EXPECT_EQ(app->PortStatus().Value().counts.sent, 0u);

    // Back: the next send goes out, counts, and has no red line.
    TPty back;
    link.PointTo(back.Path());
    loop_.Advance(1000ms);
    ASSERT_TRUE(app->ComPort().IsOpen());
    app->LinkLog().Clear();
    app->SendCommandLine();
    loop_.Advance(100ms);
    ASSERT_FALSE(LinesIn(app->LinkLog(), colors::kSent).empty());
    EXPECT_TRUE(LinesIn(app->LinkLog(), colors::kError).empty()) << LinesIn(app->LinkLog(), colors::kError).front();
    EXPECT_EQ(app->PortStatus().Value().counts.sent, 1u);
    EXPECT_TRUE(app->FormDestroy());
    errors_.shown.clear();
  }
}


TEST_F(AppTest, TickIntervalAndPortNumberEdits) {
  files_.WriteDataFiles();
  TPty pty;
  auto app = Start(pty.Path());
  struct TCase {
    const char* text;
    int interval;
  };
  for (const TCase c : {TCase{"500", 500}, TCase{"9999", 2500}, TCase{"x", 25}, TCase{" +75 ", 75}}) {
    SCOPED_TRACE(c.text);
    app->LinkLog().Clear();
    app->Queues().SetRepeatCntr(kRepeatStart);
    app->Queues().EnqueueCommand("AB B0 00000000 FFFFFF80 00");
    app->SpinEdit1Change(c.text);
    EXPECT_EQ(app->TickInterval().Value(), c.interval);
    // The period starts again at the edit.
    loop_.Advance(std::chrono::milliseconds(c.interval - 1));
    EXPECT_TRUE(LinesIn(app->LinkLog(), colors::kSent).empty());
    loop_.Advance(1ms);
    EXPECT_EQ(LinesIn(app->LinkLog(), colors::kSent).size(), 1u);
    while (app->Queues().Commands().Count() > 0) app->Queues().Commands().RemoveAt(0);
  }

  app->SpinEdit2Change("3");
  EXPECT_EQ(app->PortNumber().Value(), 3);
  EXPECT_TRUE(app->PortWarning().Value());
  EXPECT_EQ(app->ComPort().Port, "COM3");
  EXPECT_EQ(app->ComPort().Device(), pty.Path());  // the open port keeps its device
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), "[Link]\nComport=3\n");
}


// The quit signals reach the program through its loop.
TEST(QuitSignals, ASignalRunsTheHandlerOnTheLoop) {
  TFakeEventLoop loop;
  std::vector<int> got;
  {
    TQuitSignals quit(loop, [&](int signal) { got.push_back(signal); });
    EXPECT_THROW(TSignalPipe(), std::runtime_error);  // one owner at a time
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
      ASSERT_EQ(::raise(signal), 0);
      loop.RunPending();
    }
  }
  EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));
  // Free again once it is gone.
  TSignalPipe again;
  EXPECT_GE(again.ReadFd(), 0);
  EXPECT_EQ(again.Take(), 0);
}

}  // namespace
}  // namespace ardel
