// The port as the program binds it on Linux's devices: what is tried again after a loss
// for each kind of port, and what counts as sent.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

#include "port_binding_fixture.h"
#include "serial/pty_fixture.h"
#include "util/ini_file.h"
#include "support/loopback_server.h"
#include "util/text_file.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::Contains;
using testing::PortBindingTest;
using testing::TDeviceLink;
using testing::TLoopbackServer;
using testing::TFakeEventLoop;
using testing::Wire;
using testing::TPty;

// One policy for every loss: a pseudo-terminal's number passes to other programs and is
// never reopened by itself; a stable link to one and a network port are tried again.
TEST_F(PortBindingTest, WhatIsTriedAgainFollowsTheKindOfPort) {
  struct TCase {
    const char* what;
    TPortState after;
    bool retried;
  };
  for (const TCase c : {TCase{"a pseudo-terminal by its number", psLostForGood, false},
                        TCase{"a link to a pseudo-terminal", psLost, true}, TCase{"a network port", psLost, true}}) {
    SCOPED_TRACE(c.what);
    auto pty = std::make_unique<TPty>();
    std::unique_ptr<TLoopbackServer> server;
    std::string device = pty->Path();
    const std::string link = root_ + "/adapter";
    std::filesystem::remove(link);
    if (c.what == std::string("a link to a pseudo-terminal")) {
      ASSERT_EQ(::symlink(pty->Path().c_str(), link.c_str()), 0);
      device = link;
    } else if (c.what == std::string("a network port")) {
      server = std::make_unique<TLoopbackServer>();
      device = server->Url();
    }
    Bind(TPortMap{{"COM1", device}});
    binding_->OpenPortAtStart();
    if (server) {
      ASSERT_TRUE(server->Accept());
    }
    ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == psOpen; }));
    if (server) {
      server->Hangup();
    } else {
      std::filesystem::remove(link);
      pty.reset();
    }
    ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == c.after; }));
    EXPECT_EQ(Status().fault, ekLOST);
    EXPECT_EQ(binding_->PortRetryTimer().IsActive(), c.retried);
    const auto lost = Lines(colors::kError, "lost");
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(Contains(lost[0], "not opened again"), !c.retried) << lost[0];
    binding_.reset();
    log_.Clear();
  }
}

// The status bar's "sent" is what the port took: telegrams the output queue dropped,
// and those written while the port is closed, are not counted.
TEST_F(PortBindingTest, SentCountsWhatThePortTook) {
  TPty pty;
  Bind(TPortMap{{"COM1", pty.Path()}});
  transmit_.SendCommandString("AB B0 00000000 FFFFFF80 00");
  EXPECT_EQ(Status().counts.sent, 0u);
  binding_->OpenPortAtStart();
  ASSERT_EQ(Status().state, psOpen);
  // The far end takes nothing for now.
  constexpr int kTelegrams = 3000;
  for (int i = 0; i < kTelegrams; ++i) transmit_.SendCommandString("AB B0 00000000 FFFFFF80 00");
  EXPECT_EQ(transmit_.TelegramsSent(), kTelegrams + 1u);
  const std::uint64_t sent = Status().counts.sent;
  EXPECT_LT(sent, static_cast<std::uint64_t>(kTelegrams));
  std::string arrived;
  loop_.RunUntil([&] {
    arrived += pty.ReadAvailable();
    return arrived.size() > sent * 15;
  }, 1000ms);
  EXPECT_EQ(arrived.size(), sent * 15);
  EXPECT_EQ(Status().counts.sent, sent);
}

// Whatever ends an attempt, the name chosen for the next start is put back.
TEST_F(PortBindingTest, ARetryThatFailsOtherwiseKeepsTheChosenPortName) {
  TDeviceLink link(root_);
  auto first = std::make_unique<TPty>();
  link.PointTo(first->Path());
  Start(link.Path());
  ASSERT_TRUE(binding_->ComPort().IsOpen());
  link.Remove();
  first.reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return !binding_->ComPort().IsOpen(); }));

  binding_->SetNextStartName("COM3");
  TPty second;
  link.PointTo(second.Path());
  binding_->ComPort().OnPortOpen = [](TComPort&) { throw std::runtime_error("a handler failed"); };
  loop_.Advance(1000ms);
  EXPECT_EQ(binding_->ComPort().Port, "COM3");
  EXPECT_EQ(binding_->NextStartName(), "COM3");
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "a handler failed");
  // The port opened before its handler threw: the retries end.
  EXPECT_TRUE(binding_->ComPort().IsOpen());
  EXPECT_FALSE(binding_->PortRetryTimer().IsActive());
}

// A far end that takes nothing: what does not fit is dropped, and one red line says
// how much, not one per telegram.
TEST_F(PortBindingTest, DroppedOutputIsOneRedLineWithTheBytes) {
  TPty pty;
  Start(pty.Path());
  ASSERT_TRUE(binding_->ComPort().IsOpen());
  const std::string telegram(14, '\x5A');
  for (int i = 0; i < 20000; ++i) binding_->ComPort().SendString(telegram);
  loop_.RunPending();
  const std::vector<std::string> dropped = Lines(colors::kError, "bytes dropped");
  ASSERT_EQ(dropped.size(), 1u);
  const std::size_t at = dropped[0].find(" bytes dropped");
  const std::size_t from = dropped[0].rfind(' ', at - 1) + 1;
  EXPECT_GT(std::stoul(dropped[0].substr(from, at - from)), 200000u) << dropped[0];
  EXPECT_TRUE(Contains(dropped[0], "port COM1 (" + pty.Path() + ")")) << dropped[0];
}

// Half a telegram, then the device goes and comes back: the next whole telegram is good.
TEST_F(PortBindingTest, ATelegramCutByALossDoesNotSwallowTheFirstAfterIt) {
  TDeviceLink link(root_);
  auto first = std::make_unique<TPty>();
  link.PointTo(first->Path());
  Start(link.Path());
  ASSERT_TRUE(binding_->ComPort().IsOpen());
  const TTelegramBody body = {0x8B, 0xB4, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x05};
  const std::string whole = Wire(body);
  first->Write(whole.substr(0, 7));
  ASSERT_TRUE(loop_.RunUntil([&] { return receive_.Framer().State() == 7; }));
  link.Remove();
  first.reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return !binding_->ComPort().IsOpen(); }));
  TPty second;
  link.PointTo(second.Path());
  loop_.Advance(1000ms);
  ASSERT_TRUE(binding_->ComPort().IsOpen());
  second.Write(whole);
  ASSERT_TRUE(loop_.RunUntil([&] { return receive_.TelegramsReceived() == 1; }, 2000ms));
  EXPECT_EQ(receive_.ChecksumErrors(), 0u);
  EXPECT_EQ(Lines(colors::kReceived, "").size(), 1u);
}

TEST(PortStatusWords, EachStateInPlainWords) {
  TPty pty;
  // Given to a group as Debian gives serial lines (dialout); others leave the
  // pseudo-terminal's own group (tty).
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(pty.Path().c_str(), static_cast<uid_t>(-1), 20), 0);
  }
  const std::string refused = DescribeOpenFailure(pty.Path(), EACCES);
  // Beside the port, its device; said once where the device is the port's own name, as
  // a [Ports] entry or Windows' default gives COM4 on COM4.
  struct TCase {
    TPortState state;
    std::string reason;
    std::string words;
    std::string port = "COM1";
    std::string device = "/dev/ttyUSB0";
    std::string deviceWords = "/dev/ttyUSB0";
  } cases[] = {
      {psOpen, "", "open"},
      {psLost, "the device went away", "lost: trying again every second"},
      {psCannotOpen, refused, "cannot open: " + refused},
      {psConnecting, "", "connecting"},
      {psOpen, "", "open", "COM4", "COM4", ""},
      {psOpen, "", "open", "COM4", "com4", ""},
      {psOpen, "", "open", "COM4", "\\\\.\\COM4", "\\\\.\\COM4"},
      {psOpen, "", "open", "COM1", "COM12", "COM12"},
      {psOpen, "", "open", "COM12", "COM1", "COM1"},
      {psNotOpened, "", "not opened", "COM3", "", ""},
  };
  for (const TCase& c : cases) {
    TPortStatus status;
    status.state = c.state;
    status.reason = c.reason;
    status.port = c.port;
    status.device = c.device;
    EXPECT_EQ(PortStateText(status), c.words);
    EXPECT_EQ(DeviceText(status), c.deviceWords) << c.port << " on " << c.device;
  }
  // The way out is named: the group, joining it and logging in again.
  EXPECT_TRUE(Contains(refused, "the group \"")) << refused;
  EXPECT_TRUE(Contains(refused, "log in again")) << refused;
}

// The status follows the port: cannot open at the start, open once it is there, lost
// when it goes; and it counts what passed.
TEST_F(PortBindingTest, ThePortStatusFollowsThePortAndCountsTheTraffic) {
  TDeviceLink link(root_);
  Start(link.Path());
  EXPECT_EQ(Status().state, psCannotOpen);
  EXPECT_EQ(Status().port, "COM1");
  EXPECT_EQ(Status().device, link.Path());
  // The reason is the fault's own text and kind, not a piece cut from the error's text.
  EXPECT_EQ(Status().reason, link.Path() + ": No such file or directory");
  EXPECT_EQ(Status().fault, ekMISSING);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "TCOMPORT : cannot open COM1\r" + Status().reason);
  auto pty = std::make_unique<TPty>();
  link.PointTo(pty->Path());
  loop_.Advance(1000ms);
  ASSERT_EQ(Status().state, psOpen);

  // A telegram that asks for an ACK, one with a wrong checksum, one command of ours.
  receive_.SetAckDecision([this](const TFrame& frame) { transmit_.AckDecision(frame); });
  std::string bad = Wire({0x8B, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x05});
  bad[13] = static_cast<char>(bad[13] ^ 0x55);
  pty->Write(Wire({0x8B, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x05}) + bad);
  ASSERT_TRUE(loop_.RunUntil([&] { return Status().counts.checksumErrors == 1; }));
  transmit_.SendCommandString("AB B0 00000000 FFFFFF80 00");
  const TLinkCounts expected{1, 2, 1, 1};
  EXPECT_EQ(Status().counts, expected) << LinkCountsText(Status().counts);
  std::string arrived;
  ASSERT_TRUE(loop_.RunUntil([&] { return (arrived += pty->ReadAvailable()).size() >= 30; }));

  link.Remove();
  pty.reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == psLost; }));
  EXPECT_EQ(PortStateText(Status()), "lost: trying again every second");
  EXPECT_EQ(Status().counts, expected);
}

// A device chosen for the port in use goes into [Ports] at once, beside what else the
// file holds, and the port opens on it; RS485 for another port is written only.
TEST_F(PortBindingTest, ChoosingTheDeviceOfThePortInUseWritesItAndReopens) {
  TPty first;
  TPty second;
  const std::string config = root_ + "/ardel.ini";
  WriteFileAtomically(config, "[Link]\nComport=1\n[Ports]\n; the bench adapter\nCOM1=" + first.Path() +
                                  "\nCOM3=socket://bus:4001\n");
  Bind(std::nullopt);
  binding_->SetConfigFileName(config);
  binding_->ReadPorts(TIniFile::Load(config));
  binding_->OpenPortAtStart();
  loop_.RunPending();
  ASSERT_EQ(binding_->ComPort().Device(), first.Path());
  EXPECT_EQ(binding_->PortChoices().Value()[0].device, first.Path());
  EXPECT_EQ(binding_->PortChoices().Value()[1].device, "/dev/ttyS1");
  EXPECT_EQ(binding_->PortChoices().Value()[2].device, "socket://bus:4001");

  binding_->ChoosePortDevice(1, second.Path());
  binding_->ChoosePortRs485(2, true);
  EXPECT_EQ(ReadWholeFile(config), "[Link]\nComport=1\n[Ports]\n; the bench adapter\nCOM1=" + second.Path() +
                                       "\nCOM3=socket://bus:4001\nCOM2.rs485=1\n");
  ASSERT_TRUE(binding_->ComPort().IsOpen());
  EXPECT_EQ(binding_->ComPort().Device(), second.Path());
  EXPECT_EQ(Status().device, second.Path());
  EXPECT_EQ(Status().state, psOpen);
  EXPECT_TRUE(binding_->PortChoices().Value()[1].rs485);
  transmit_.SendCommandString("AB B0 00000000 FFFFFF80 00");
  std::string arrived;
  ASSERT_TRUE(loop_.RunUntil([&] { return (arrived += second.ReadAvailable()).size() >= 15; }));
  EXPECT_TRUE(first.ReadAvailable().empty());
  EXPECT_TRUE(errors_.empty()) << errors_.front();

  // A device that is not there: said as at the start, and tried again.
  binding_->ChoosePortDevice(1, "/nonexistent/ttyUSB9");
  EXPECT_FALSE(binding_->ComPort().IsOpen());
  EXPECT_EQ(Status().state, psCannotOpen);
  loop_.RunPending();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_TRUE(Contains(errors_[0], "/nonexistent/ttyUSB9")) << errors_[0];

  // Without a configuration file nothing changes.
  binding_->SetConfigFileName("");
  EXPECT_THROW(binding_->ChoosePortDevice(1, first.Path()), EFileError);
  EXPECT_EQ(binding_->PortChoices().Value()[0].device, "/nonexistent/ttyUSB9");
}

// A pseudo-terminal lost is not opened again by itself; another device the operator
// chooses for the port is.
TEST_F(PortBindingTest, AfterALossForGoodAChosenDeviceOpens) {
  const std::string config = root_ + "/ardel.ini";
  WriteFileAtomically(config, "[Link]\nComport=1\n");
  auto first = std::make_unique<TPty>();
  TPty second;
  Start(first->Path());
  binding_->SetConfigFileName(config);
  ASSERT_TRUE(binding_->ComPort().IsOpen());
  first.reset();
  ASSERT_TRUE(loop_.RunUntil([&] { return Status().state == psLostForGood; }));
  EXPECT_FALSE(binding_->PortRetryTimer().IsActive());
  binding_->ChoosePortDevice(1, second.Path());
  EXPECT_TRUE(binding_->ComPort().IsOpen());
  EXPECT_EQ(Status().state, psOpen);
  loop_.RunPending();
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(PortBindingTest, TheDeviceListFollowsAnAdapterPluggedInAfterTheStart) {
  std::filesystem::create_directories(root_ + "/dev");
  Bind(std::nullopt);
  EXPECT_TRUE(binding_->SerialDevices().Value().empty());
  { std::ofstream(root_ + "/dev/ttyUSB0"); }
  ASSERT_TRUE(loop_.RunUntil([&] { return !binding_->SerialDevices().Value().empty(); }, 2000ms));
  EXPECT_EQ(binding_->SerialDevices().Value()[0].path, "/dev/ttyUSB0");
}

}  // namespace
}  // namespace ardel
