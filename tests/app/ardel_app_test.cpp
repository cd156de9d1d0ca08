// The program without a window, on a loop whose clock the test moves: the start-up,
// the tick, a port that goes away and comes back, and the shut-down.

#include "app/ardel_app.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/quit_signals.h"
#include "serial/pty_fixture.h"
#include "support/fake_event_loop.h"
#include "support/program_directory.h"
#include "util/text_file.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::TFakeEventLoop;
using testing::TProgramDirectory;
using testing::TPty;
using testing::TRecordingErrorSink;

std::vector<std::string> LinesIn(const TLinkLog& log, TColor color) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < log.Count(); ++i) {
    if (log.Line(i).color == color) lines.push_back(log.Line(i).text);
  }
  return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Wire(const TTelegramBody& body) {
  const TWireTelegram wire = EncodeTelegram(body);
  return std::string(wire.begin(), wire.end());
}

// A stable name that follows the device, as udev's by-id links do: a lost device is
// tried again by this name only.
class TDeviceLink {
 public:
  TDeviceLink() {
    char dir[] = "/tmp/ardel-app-XXXXXX";
    if (::mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = dir;
    path_ = dir_ + "/adapter";
  }
  ~TDeviceLink() { std::filesystem::remove_all(dir_); }
  const std::string& Path() const { return path_; }
  void PointTo(const std::string& device) const { ASSERT_EQ(::symlink(device.c_str(), path_.c_str()), 0); }
  void Remove() const { ASSERT_EQ(::unlink(path_.c_str()), 0); }

 private:
  std::string dir_;
  std::string path_;
};

class AppTest : public ::testing::Test {
 protected:
  std::unique_ptr<TArdelApp> Start(const std::string& device) {
    auto app = std::make_unique<TArdelApp>(loop_, errors_, files_.Options<TAppOptions>({{"COM1", device}}));
    app->FormCreate();
    loop_.RunPending();
    return app;
  }

  TFakeEventLoop loop_;
  TRecordingErrorSink errors_;
  TProgramDirectory files_;
};

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

// A file the program did not load is never written over, and what the operator typed is
// not lost either: a tab switch says so, the shut-down keeps it beside the file.
TEST_F(AppTest, RefusedSavesSayWhereTheWorkWent) {
  const std::string shortFile = "32\r\n17\r\n,0,1\r\n";
  WriteFileAtomically(files_.StationFile(), shortFile);
  WriteFileAtomically(files_.RuleSetFile(), "if   *");
  TPty pty;
  for (const char* suffix : {".unsaved", ".unsaved.1"}) {
    SCOPED_TRACE(suffix);
    errors_.shown.clear();
    auto app = Start(pty.Path());
    ASSERT_EQ(errors_.shown.size(), 1u);  // the station file does not load
    app->StationTab().DisplayedStation().sbi.SetText("FF800100");
    app->StationTab().TabControl1Switch(1);
    ASSERT_EQ(app->Information().Count(), 1u);
    EXPECT_EQ(app->Information().At(0).rfind("veskData.txt not saved", 0), 0u) << app->Information().At(0);
    app->RuleSet().SetText("then say typed");

    EXPECT_FALSE(app->FormDestroy());
    EXPECT_EQ(ReadWholeFile(files_.StationFile()), shortFile);
    EXPECT_EQ(ReadWholeFile(files_.RuleSetFile()), "if   *");
    TStationTable kept;
    LoadStationTable(kept, files_.StationFile() + suffix);
    EXPECT_EQ(kept.Cell(StationColumn(0), kSbiRow), "FF800100");
    EXPECT_EQ(ReadWholeFile(files_.RuleSetFile() + suffix), "then say typed");
    ASSERT_EQ(errors_.shown.size(), 3u);
    EXPECT_TRUE(Contains(errors_.shown[1], files_.StationFile() + suffix)) << errors_.shown[1];
    EXPECT_TRUE(Contains(errors_.shown[2], files_.RuleSetFile() + suffix)) << errors_.shown[2];
  }
  // The first round's copies stay as they were.
  EXPECT_EQ(ReadWholeFile(files_.RuleSetFile() + ".unsaved"), "then say typed");
}

// Whatever ends an attempt, the name chosen for the next start is put back.
TEST_F(AppTest, ARetryThatFailsOtherwiseKeepsTheChosenPortName) {
  files_.WriteDataFiles();
  TDeviceLink link;
  auto first = std::make_unique<TPty>();
  link.PointTo(first->Path());
  auto app = Start(link.Path());
  ASSERT_TRUE(app->ComPort().IsOpen());
  link.Remove();
  first.reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return !app->ComPort().IsOpen(); }));

  app->ComPort().Port = "COM3";
  TPty second;
  link.PointTo(second.Path());
  app->ComPort().OnPortOpen = [](TComPort&) { throw std::runtime_error("a handler failed"); };
  loop_.Advance(1000ms);
  EXPECT_EQ(app->ComPort().Port, "COM3");
  ASSERT_EQ(errors_.shown.size(), 1u);
  EXPECT_EQ(errors_.shown[0], "a handler failed");
  // The port opened before its handler threw: the retries end.
  EXPECT_TRUE(app->ComPort().IsOpen());
  EXPECT_FALSE(app->PortRetryTimer().IsActive());
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

TEST_F(AppTest, StationSwitchStoresTheStationLeftAndShowsTheNext) {
  files_.WriteDataFiles();
  TPty pty;
  auto app = Start(pty.Path());
  app->StationTab().DisplayedStation().sbi.SetText("FF800100");
  app->StationTab().TabControl1Switch(2);
  EXPECT_EQ(app->StationTab().SelectedStation().Value(), 2);
  EXPECT_EQ(app->StationTab().DisplayedStation().station, 2);
  EXPECT_EQ(app->StationTab().StationHeading().Text(), "Station: 2");
  EXPECT_EQ(app->StationTable().Cell(StationColumn(0), kSbiRow), "FF800100");
  TStationTable saved;
  LoadStationTable(saved, files_.StationFile());
  EXPECT_EQ(saved.Cell(StationColumn(0), kSbiRow), "FF800100");
}

// The quit signals reach the program through its loop.
// A far end that takes nothing: what does not fit is dropped, and one red line says
// how much, not one per telegram.
TEST_F(AppTest, DroppedOutputIsOneRedLineWithTheBytes) {
  files_.WriteDataFiles();
  TPty pty;
  auto app = Start(pty.Path());
  ASSERT_TRUE(app->ComPort().IsOpen());
  const std::string telegram(14, '\x5A');
  for (int i = 0; i < 20000; ++i) app->ComPort().SendString(telegram);
  loop_.RunPending();
  std::vector<std::string> dropped;
  for (std::string& line : LinesIn(app->LinkLog(), colors::kError)) {
    if (Contains(line, "bytes dropped")) dropped.push_back(std::move(line));
  }
  ASSERT_EQ(dropped.size(), 1u);
  const std::size_t at = dropped[0].find(" bytes dropped");
  const std::size_t from = dropped[0].rfind(' ', at - 1) + 1;
  EXPECT_GT(std::stoul(dropped[0].substr(from, at - from)), 200000u) << dropped[0];
  EXPECT_TRUE(Contains(dropped[0], "port COM1 (" + pty.Path() + ")")) << dropped[0];
}

// Half a telegram, then the device goes and comes back: the next whole telegram is good.
TEST_F(AppTest, ATelegramCutByALossDoesNotSwallowTheFirstAfterIt) {
  files_.WriteDataFiles();
  TDeviceLink link;
  auto first = std::make_unique<TPty>();
  link.PointTo(first->Path());
  auto app = Start(link.Path());
  ASSERT_TRUE(app->ComPort().IsOpen());
  const TTelegramBody body = {0x8B, 0xB4, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x05};
  const std::string whole = Wire(body);
  first->Write(whole.substr(0, 7));
  ASSERT_TRUE(loop_.RunUntil([&] { return app->ReceivePath().Framer().State() == 7; }));
  link.Remove();
  first.reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return !app->ComPort().IsOpen(); }));
  TPty second;
  link.PointTo(second.Path());
  loop_.Advance(1000ms);
  ASSERT_TRUE(app->ComPort().IsOpen());
  second.Write(whole);
  ASSERT_TRUE(loop_.RunUntil([&] { return app->ReceivePath().TelegramsReceived() == 1; }, 2000ms));
  EXPECT_EQ(app->ReceivePath().ChecksumErrors(), 0u);
  EXPECT_EQ(LinesIn(app->LinkLog(), colors::kReceived).size(), 1u);
}

TEST(PortStatusWords, EachStateInPlainWords) {
  TPty pty;
  // Given to a group as Debian gives serial lines (dialout); others leave the
  // pseudo-terminal's own group (tty).
  if (::geteuid() == 0) ASSERT_EQ(::chown(pty.Path().c_str(), static_cast<uid_t>(-1), 20), 0);
  const std::string refused = DescribeOpenFailure(pty.Path(), EACCES);
  struct TCase {
    TPortState state;
    std::string reason;
    std::string words;
  } cases[] = {
      {psOpen, "", "open"},
      {psLost, "the device went away", "lost: trying again every second"},
      {psCannotOpen, refused, "cannot open: " + refused},
  };
  for (const TCase& c : cases) {
    TPortStatus status;
    status.state = c.state;
    status.reason = c.reason;
    EXPECT_EQ(PortStateText(status), c.words);
  }
  // The way out is named: the group, joining it and logging in again.
  EXPECT_TRUE(Contains(refused, "the group \"")) << refused;
  EXPECT_TRUE(Contains(refused, "log in again")) << refused;
  EXPECT_EQ(OpenFailureReason("TCOMPORT : cannot open COM1\r/dev/ttyUSB0: No such file or directory"),
            "/dev/ttyUSB0: No such file or directory");
}

// The status follows the port: cannot open at the start, open once it is there, lost
// when it goes; and it counts what passed.
TEST_F(AppTest, ThePortStatusFollowsThePortAndCountsTheTraffic) {
  files_.WriteDataFiles();
  TDeviceLink link;
  auto app = Start(link.Path());
  EXPECT_EQ(app->PortStatus().Value().state, psCannotOpen);
  EXPECT_EQ(app->PortStatus().Value().port, "COM1");
  EXPECT_EQ(app->PortStatus().Value().device, link.Path());
  EXPECT_TRUE(Contains(app->PortStatus().Value().reason, link.Path() + ": No such file or directory"))
      << app->PortStatus().Value().reason;
  auto pty = std::make_unique<TPty>();
  link.PointTo(pty->Path());
  loop_.Advance(1000ms);
  ASSERT_EQ(app->PortStatus().Value().state, psOpen);

  // A telegram that asks for an ACK, one with a wrong checksum, one command of ours.
  std::string bad = Wire({0x8B, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x05});
  bad[13] = static_cast<char>(bad[13] ^ 0x55);
  pty->Write(Wire({0x8B, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x05}) + bad);
  ASSERT_TRUE(loop_.RunUntil([&] { return app->PortStatus().Value().counts.checksumErrors == 1; }));
  app->TransmitPath().SendCommandString("AB B0 00000000 FFFFFF80 00");
  const TLinkCounts expected{1, 2, 1, 1};
  EXPECT_EQ(app->PortStatus().Value().counts, expected) << LinkCountsText(app->PortStatus().Value().counts);
  std::string arrived;
  ASSERT_TRUE(loop_.RunUntil([&] { return (arrived += pty->ReadAvailable()).size() >= 30; }));

  link.Remove();
  pty.reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return app->PortStatus().Value().state == psLost; }));
  EXPECT_EQ(PortStateText(app->PortStatus().Value()), "lost: trying again every second");
  EXPECT_EQ(app->PortStatus().Value().counts, expected);
}

// A device chosen for the port in use goes into [Ports] at once, beside what else the
// file holds, and the port opens on it; RS485 for another port is written only.
TEST_F(AppTest, ChoosingTheDeviceOfThePortInUseWritesItAndReopens) {
  files_.WriteDataFiles();
  TPty first;
  TPty second;
  WriteFileAtomically(files_.ConfigFile(), "[Link]\nComport=1\n[Ports]\n; the bench adapter\nCOM1=" +
                                               first.Path() + "\nCOM3=socket://bus:4001\n");
  auto app = std::make_unique<TArdelApp>(loop_, errors_, files_.Options<TAppOptions>());
  app->FormCreate();
  loop_.RunPending();
  ASSERT_EQ(app->ComPort().Device(), first.Path());
  EXPECT_EQ(app->PortChoices().Value()[0].device, first.Path());
  EXPECT_EQ(app->PortChoices().Value()[1].device, "/dev/ttyS1");
  EXPECT_EQ(app->PortChoices().Value()[2].device, "socket://bus:4001");

  app->ChoosePortDevice(1, second.Path());
  app->ChoosePortRs485(2, true);
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()), "[Link]\nComport=1\n[Ports]\n; the bench adapter\nCOM1=" +
                                                    second.Path() + "\nCOM3=socket://bus:4001\nCOM2.rs485=1\n");
  ASSERT_TRUE(app->ComPort().IsOpen());
  EXPECT_EQ(app->ComPort().Device(), second.Path());
  EXPECT_EQ(app->PortStatus().Value().device, second.Path());
  EXPECT_EQ(app->PortStatus().Value().state, psOpen);
  EXPECT_TRUE(app->PortChoices().Value()[1].rs485);
  app->TransmitPath().SendCommandString("AB B0 00000000 FFFFFF80 00");
  std::string arrived;
  ASSERT_TRUE(loop_.RunUntil([&] { return (arrived += second.ReadAvailable()).size() >= 15; }));
  EXPECT_TRUE(first.ReadAvailable().empty());
  EXPECT_TRUE(errors_.shown.empty()) << errors_.shown.front();

  // A device that is not there: said as at the start, and tried again.
  app->ChoosePortDevice(1, "/nonexistent/ttyUSB9");
  EXPECT_FALSE(app->ComPort().IsOpen());
  EXPECT_EQ(app->PortStatus().Value().state, psCannotOpen);
  loop_.RunPending();
  ASSERT_EQ(errors_.shown.size(), 1u);
  EXPECT_TRUE(Contains(errors_.shown[0], "/nonexistent/ttyUSB9")) << errors_.shown[0];
}

// A pseudo-terminal lost is not opened again by itself; another device the operator
// chooses for the port is.
TEST_F(AppTest, AfterALossForGoodAChosenDeviceOpens) {
  files_.WriteDataFiles();
  WriteFileAtomically(files_.ConfigFile(), "[Link]\nComport=1\n");
  auto first = std::make_unique<TPty>();
  TPty second;
  auto app = Start(first->Path());
  ASSERT_TRUE(app->ComPort().IsOpen());
  first.reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return app->PortStatus().Value().state == psLostForGood; }));
  EXPECT_FALSE(app->PortRetryTimer().IsActive());
  app->ChoosePortDevice(1, second.Path());
  EXPECT_TRUE(app->ComPort().IsOpen());
  EXPECT_EQ(app->PortStatus().Value().state, psOpen);
  loop_.RunPending();
  EXPECT_TRUE(errors_.shown.empty()) << errors_.shown.front();
}

TEST_F(AppTest, TheDeviceListFollowsAnAdapterPluggedInAfterTheStart) {
  char name[] = "/tmp/ardel-devroot-XXXXXX";
  ASSERT_NE(::mkdtemp(name), nullptr);
  const std::string root = name;
  std::filesystem::create_directories(root + "/dev");
  TAppOptions options;
  options.deviceRoot = root;
  TArdelApp app(loop_, errors_, options);
  EXPECT_TRUE(app.SerialDevices().Value().empty());
  { std::ofstream(root + "/dev/ttyUSB0"); }
  ASSERT_TRUE(loop_.RunUntil([&] { return !app.SerialDevices().Value().empty(); }, 2000ms));
  EXPECT_EQ(app.SerialDevices().Value()[0].path, "/dev/ttyUSB0");
  std::filesystem::remove_all(root);
}

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

namespace ardel {
namespace {

TEST_F(AppTest, PresetsComeBackAtTheNextStartAndForeignLinesStay) {
  files_.WriteDataFiles();
  const std::string foreign =
      "; the bench's own notes\r\n[Link]\r\nComport=1\r\n[Presets]\r\nPreset2 = \"AB B0 00000000 FFFFFF81 00   two\"\r\n"
      "Mine=kept\r\n[Other]\r\nkey = value\r\n";
  WriteFileAtomically(files_.ConfigFile(), foreign);
  TPty pty;
  // Blanks at both ends and quotes of its own survive.
  const std::string first = "  AB C0 00000000 FFFFFF80 FF   \"on\"  ";
  {
    auto app = Start(pty.Path());
    EXPECT_EQ(app->ManualSend().Preset(0), TManualSend::kEmptyPreset);
    EXPECT_EQ(app->ManualSend().Preset(1), "AB B0 00000000 FFFFFF81 00   two");
    app->SetPreset(0, first);
    EXPECT_TRUE(app->FormDestroy());
  }
  EXPECT_EQ(ReadWholeFile(files_.ConfigFile()),
            "; the bench's own notes\r\n[Link]\r\nComport=1\r\n[Presets]\r\nPreset2 = \"AB B0 00000000 FFFFFF81 00   two\"\r\n"
            "Mine=kept\r\nPreset1=\"" + first + "\"\r\n[Other]\r\nkey = value\r\n");
  auto again = Start(pty.Path());
  EXPECT_EQ(again->ManualSend().Preset(0), first);
  EXPECT_EQ(again->ManualSend().Preset(1), "AB B0 00000000 FFFFFF81 00   two");
  EXPECT_EQ(again->ManualSend().Preset(2), TManualSend::kEmptyPreset);
  EXPECT_TRUE(errors_.shown.empty()) << errors_.shown.front();
}

TEST_F(AppTest, APresetSetAfterAFailedStartUpTouchesNoOtherPreset) {
  // The configuration file cannot be read (a directory in its place): nothing is loaded,
  // and a preset set now is refused rather than written over the unknown file.
  std::filesystem::create_directory(files_.ConfigFile());
  TPty pty;
  auto app = Start(pty.Path());
  errors_.shown.clear();
  EXPECT_THROW(app->SetPreset(0, "AB B0 00000000 FFFFFF80 00"), EFileError);
  EXPECT_TRUE(std::filesystem::is_directory(files_.ConfigFile()));
}

}  // namespace
}  // namespace ardel
