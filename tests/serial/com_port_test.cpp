#include "serial/com_port.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <thread>
#include <vector>

#include "serial/comm_thread.h"
#include "serial/port_device.h"
#include "serial/pty_fixture.h"

namespace ardel {

class TComPortTestPeer {
 public:
  static void Status(TComPort& port, std::uint32_t mask, std::uint32_t status) {
    port.StatusRoutine(mask, status);
  }
};

namespace {

using namespace std::chrono_literals;
using testing::ProcessCpuSeconds;
using testing::TPty;
using testing::TTestLoop;

const std::string kIllegal =
    "Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>\rexample: #13#10";
const std::string kEmpty = "Terminator string cannot be empty!";

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

int Waiting(int fd) {
  int count = 0;
  ::ioctl(fd, FIONREAD, &count);
  return count;
}

// A port on a fresh pseudo-terminal whose deliveries are recorded.
struct TPortOnPty {
  TTestLoop loop;
  TPty pty;
  TComPort port;
  std::vector<std::string> deliveries;
  std::vector<std::thread::id> threads;
  int opened = 0;
  int closed = 0;
  std::vector<std::string> lost;
  std::vector<std::string> handlerErrors;

  explicit TPortOnPty(TReceiveMode mode = rmRAW) {
    port.Port = pty.Path();
    port.ReceiveMode = mode;
    port.SetWakeMainThread(loop.Wake());
    port.ReceiveCallBack = [this](const std::string& data) {
      deliveries.push_back(data);
      threads.push_back(std::this_thread::get_id());
    };
    port.OnPortOpen = [this](TComPort&) { ++opened; };
    port.OnPortClose = [this](TComPort&) { ++closed; };
    port.OnDeviceLost = [this](TComPort&, const std::string& reason) { lost.push_back(reason); };
    port.OnHandlerError = [this](const std::string& text) { handlerErrors.push_back(text); };
  }

  std::string Received() const {
    std::string all;
    for (const auto& d : deliveries) all += d;
    return all;
  }

  bool WaitForBytes(std::size_t count) {
    return loop.RunUntil([&] { return Received().size() >= count; });
  }
};

TEST(TComPortTerminator, TextForms) {
  struct TCase {
    const char* text;
    std::string bytes;         // terminator bytes afterwards
    const std::string* error;  // message raised, or none
  };
  const TCase cases[] = {
      {"#13#10", "\r\n", nullptr},
      {"#13", "\r", nullptr},
      {"#65#66", "AB", nullptr},
      {"13#10", std::string("\x03\n"), nullptr},  // the first character goes, whatever it is
      {"#300", ",", nullptr},                     // 300 modulo 256
      {"#$0D#0x0a", "\r\n", nullptr},
      {"# 13#+10#-1", "\r\n\xFF", nullptr},
      {"#13#", "\r", nullptr},
      {"#13##10", "\r\n", &kIllegal},
      {"#13x", "\r\n", &kIllegal},
      {"#13 ", "\r\n", &kIllegal},
      {"#2147483648", "\r\n", &kIllegal},
      {"#$", "\r\n", &kIllegal},
      {"#", "", &kEmpty},
      {"", "", &kEmpty},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text);
    TComPort port;
    port.SetTerminator("#65");  // something else than the reset value
    if (c.error != nullptr) {
      try {
        port.SetTerminator(c.text);
        ADD_FAILURE() << "no EComError";
      } catch (const EComError& e) {
        EXPECT_EQ(e.what(), *c.error);
      }
    } else {
      port.SetTerminator(c.text);
    }
    EXPECT_EQ(port.TerminatorBytes(), c.bytes);
  }
  TComPort port;
  EXPECT_EQ(port.Terminator(), "#13#10");
  port.SetTerminator("#7#0#255");
  EXPECT_EQ(port.Terminator(), "#7#0#255");
}

TEST(TComPortNames, ResolveToDevices) {
  const TPortMap map = {{"com2", "/dev/ttyUSB0"}, {"COM3", ""}, {"BUS", "/dev/ttyACM1"}};
  struct TCase {
    const char* name;
    const char* device;  // nullptr: no device
  };
  const TCase cases[] = {
      {"COM1", "/dev/ttyS0"},       {"COM4", "/dev/ttyS3"}, {"COM2", "/dev/ttyUSB0"},
      {"Com2", "/dev/ttyUSB0"},     {"COM3", ""},           {"BUS", "/dev/ttyACM1"},
      {"socket://h:1", "socket://h:1"}, {"rfc2217://h:1", "rfc2217://h:1"},
      {"/dev/pts/7", "/dev/pts/7"}, {"COM0", nullptr},      {"COM", nullptr},
      {"COM1x", nullptr},           {"LPT1", nullptr},      {"", nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto device = ResolvePortDevice(c.name, map);
    if (c.device == nullptr) {
      EXPECT_FALSE(device.has_value());
    } else {
      ASSERT_TRUE(device.has_value());
      EXPECT_EQ(*device, c.device);
    }
  }
}

TEST(TComPortReceive, RawDeliveriesReachTheCallbackOnTheMainThreadWholeAndInOrder) {
  TPortOnPty t;
  t.port.OpenPort();
  const std::string sent = AllByteValues() + AllByteValues();
  t.pty.Write(sent.substr(0, 100));
  t.pty.Write(sent.substr(100));
  ASSERT_TRUE(t.WaitForBytes(sent.size()));
  EXPECT_EQ(t.Received(), sent);
  for (const auto& id : t.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(TComPortReceive, TermModeDeliversOnePiecePerEventAndKeepsTheRest) {
  TPortOnPty t(rmTERM);
  t.port.OpenPort();
  t.pty.Write("AB\r\nCD\r\n");
  ASSERT_TRUE(t.loop.RunUntil([&] { return !t.deliveries.empty(); }));
  t.loop.RunFor(100ms);
  ASSERT_EQ(t.deliveries, std::vector<std::string>{"AB\r\n"});
  EXPECT_EQ(t.port.LineBuffer(), "CD\r\n");

  // The next event delivers the held piece; a piece without its terminator waits.
  t.pty.Write("E");
  ASSERT_TRUE(t.loop.RunUntil([&] { return t.deliveries.size() == 2; }));
  EXPECT_EQ(t.deliveries[1], "CD\r\n");
  EXPECT_EQ(t.port.LineBuffer(), "E");
  t.pty.Write("F\r");
  t.loop.RunFor(100ms);
  EXPECT_EQ(t.deliveries.size(), 2u);
  t.pty.Write("\n");
  ASSERT_TRUE(t.loop.RunUntil([&] { return t.deliveries.size() == 3; }));
  EXPECT_EQ(t.deliveries[2], "EF\r\n");
  EXPECT_EQ(t.port.LineBuffer(), "");
}

TEST(TComPortReceive, BytesWithoutReceiverAreReadAndDiscarded) {
  for (TReceiveMode mode : {rmRAW, rmTERM}) {
    SCOPED_TRACE(mode);
    TPortOnPty t(mode);
    t.port.ReceiveCallBack = nullptr;
    t.port.OpenPort();
    t.pty.Write("X\r\n");
    // Nothing stays behind in the device for a later receiver.
    ASSERT_TRUE(t.loop.RunUntil([&] { return t.loop.Wakes() > 0 && Waiting(t.pty.Slave()) == 0; }));
    t.port.ReceiveCallBack = [&](const std::string& data) { t.deliveries.push_back(data); };
    t.pty.Write("Y\r\n");
    ASSERT_TRUE(t.WaitForBytes(3));
    EXPECT_EQ(t.Received(), "Y\r\n");
  }
}

TEST(TComPortReceive, AFailingReceiverIsReportedAndThePortCarriesOn) {
  TPortOnPty t;
  int calls = 0;
  t.port.ReceiveCallBack = [&](const std::string& data) {
    ++calls;
    if (data.find('!') != std::string::npos) throw std::runtime_error("bad delivery");
    t.deliveries.push_back(data);
  };
  t.port.OpenPort();
  t.pty.Write("!");
  ASSERT_TRUE(t.loop.RunUntil([&] { return !t.handlerErrors.empty(); }));
  EXPECT_EQ(t.handlerErrors, std::vector<std::string>{"bad delivery"});
  t.pty.Write("ok");
  ASSERT_TRUE(t.WaitForBytes(2));
  EXPECT_EQ(t.Received(), "ok");
  EXPECT_TRUE(t.port.IsOpen());
}

TEST(TComPortLifecycle, OpenAndCloseAreIdempotentAndThePortReopens) {
  TPortOnPty t;
  t.port.ClosePort();
  EXPECT_EQ(t.closed, 0);
  t.port.OpenPort();
  t.port.OpenPort();
  EXPECT_EQ(t.opened, 1);
  EXPECT_TRUE(t.port.IsOpen());
  EXPECT_EQ(t.port.Device(), t.pty.Path());
  t.port.ClosePort();
  t.port.ClosePort();
  EXPECT_EQ(t.closed, 1);
  EXPECT_FALSE(t.port.IsOpen());

  // Sending while closed goes nowhere.
  t.port.SendString("lost");
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(t.pty.ReadAvailable(), "");

  t.port.OpenPort();
  EXPECT_EQ(t.opened, 2);
  t.pty.Write("again");
  ASSERT_TRUE(t.WaitForBytes(5));
  t.port.SendString("");
  t.port.SendString("out");
  std::string out;
  ASSERT_TRUE(t.loop.RunUntil([&] { return (out += t.pty.ReadAvailable()) == "out"; }));
  EXPECT_TRUE(t.lost.empty());
}

TEST(TComPortLifecycle, OpenFailuresNameThePortAndTheDevice) {
  TPortOnPty holder;
  holder.port.OpenPort();
  struct TCase {
    std::string port;
    TPortMap map;
    std::string device;  // must appear in the text
  };
  const TCase cases[] = {
      {holder.pty.Path(), {}, holder.pty.Path() + ": "},                  // in use
      {"COM9", {{"COM9", holder.pty.Path()}}, holder.pty.Path() + ": "},  // in use, mapped
      {"/dev/ardel-no-such-device", {}, "/dev/ardel-no-such-device: "},
      {"COM200", {}, "/dev/ttyS199"},
      {"/dev/null", {}, "/dev/null: not a serial device"},
      {"LPT1", {}, "LPT1: "},
      {"COM1", {{"COM1", ""}}, "COM1: the port has no device"},
      {"COM1", {{"COM1", "socket://no-port-number"}}, "socket://no-port-number: the address must read"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.port);
    TTestLoop loop;
    TComPort port;
    port.Port = c.port;
    port.SetPortMap(c.map);
    port.SetWakeMainThread(loop.Wake());
    int opened = 0;
    port.OnPortOpen = [&](TComPort&) { ++opened; };
    try {
      port.OpenPort();
      ADD_FAILURE() << "opened";
    } catch (const EComError& e) {
      const std::string text = e.what();
      EXPECT_EQ(text.rfind("TCOMPORT : cannot open " + c.port + "\r", 0), 0u) << text;
      EXPECT_NE(text.find(c.device), std::string::npos) << text;
    }
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(opened, 0);
    port.SendString("nothing");
  }
  // The holder is untouched by the refused attempts.
  holder.pty.Write("still mine");
  ASSERT_TRUE(holder.WaitForBytes(10));
  EXPECT_EQ(holder.pty.ReadAvailable(), "");
}

TEST(TComPortLineSettings, RawLineInTheFormatOfTheProperties) {
  struct TCase {
    TLineSettings settings;
    speed_t speed;
    tcflag_t size;
    tcflag_t parityFlags;  // of PARENB | PARODD | CMSPAR
    bool twoStop;
  };
  const TCase cases[] = {
      {{9600, 8, ptNONE, sbONE}, B9600, CS8, 0, false},
      {{19200, 7, ptEVEN, snTWO}, B19200, CS7, PARENB, true},
      {{115200, 8, ptODD, sbONE}, B115200, CS8, PARENB | PARODD, false},
      {{4800, 5, ptMARK, sbONE5}, B4800, CS5, PARENB | PARODD | CMSPAR, true},
      {{1200, 6, ptSPACE, sbONE}, B1200, CS6, PARENB | CMSPAR, false},
      {{12345, 9, ptNONE, sbONE}, B38400, CS8, 0, false},  // unknown rate: left as it was
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.settings.baud);
    // Start from a cooked line with everything switched on that must go.
    termios tio{};
    tio.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP | PARMRK;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    tio.c_cflag = CS8 | CRTSCTS | HUPCL | PARENB | PARODD | CMSPAR | CSTOPB;
    ::cfsetspeed(&tio, B38400);
    ComposeLineSettings(tio, c.settings);
    EXPECT_EQ(::cfgetospeed(&tio), c.speed);
    EXPECT_EQ(::cfgetispeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(tio.c_cflag & (CRTSCTS | HUPCL), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
  }
}

TEST(TComPortLineSettings, ThePropertiesReachTheDevice) {
  // A pseudo-terminal keeps the rate, stop bits and raw mode (not size or parity).
  TPortOnPty t;
  t.port.Baud = 19200;
  t.port.StopBits = snTWO;
  t.port.OpenPort();
  termios tio{};
  ASSERT_EQ(::tcgetattr(t.pty.Slave(), &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
  EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(tio.c_cflag & HUPCL, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
}

TEST(TComPortSend, SixtyFourKiBInOneCallArriveWholeAndInOrder) {
  TPortOnPty t;
  // The output queue holds about three seconds of line time: at this rate 64 KiB fit.
  t.port.Baud = 921600;
  t.port.OpenPort();
  std::string big;
  for (std::size_t i = 0; big.size() < 65536; ++i)
    big.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
  const std::string tail = "-tail-";
  // The far end reads slowly at first, so the port has to queue.
  std::atomic<bool> done{false};
  std::string arrived;
  std::thread reader([&] {
    std::this_thread::sleep_for(50ms);
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (arrived.size() < big.size() + tail.size() && std::chrono::steady_clock::now() < end) {
      arrived += t.pty.ReadAvailable();
      std::this_thread::sleep_for(1ms);
    }
    done = true;
  });
  t.port.SendString(big);
  t.port.SendString(tail);
  t.loop.RunUntil([&] { return done.load(); }, 10s);
  reader.join();
  ASSERT_EQ(arrived.size(), big.size() + tail.size());
  EXPECT_TRUE(arrived == big + tail);
}

TEST(TComPortLoss, ARemovedDeviceEndsTheThreadWithoutSpinningAndClosesThePort) {
  TPortOnPty t;
  t.port.OpenPort();

  // An idle open port sleeps.
  double before = ProcessCpuSeconds();
  t.loop.RunFor(500ms);
  EXPECT_LT(ProcessCpuSeconds() - before, 0.2);

  t.pty.CloseMaster();
  before = ProcessCpuSeconds();
  t.loop.RunFor(1000ms);
  EXPECT_LT(ProcessCpuSeconds() - before, 0.2);
  EXPECT_FALSE(t.port.IsOpen());
  EXPECT_EQ(t.closed, 1);
  ASSERT_EQ(t.lost.size(), 1u);
  EXPECT_FALSE(t.lost[0].empty());

  // Gone for good: it cannot be opened, and closing again does nothing.
  EXPECT_THROW(t.port.OpenPort(), EComError);
  t.port.ClosePort();
  EXPECT_EQ(t.closed, 1);
  t.port.SendString("nowhere");
}

TEST(TComPortLoss, AnUnservedLossNeitherSpinsNorBlocksTheClose) {
  // The window's loop may have ended: the thread waits for a hand-over that never
  // comes, and the close still ends it.
  TPortOnPty t;
  t.port.OpenPort();
  t.pty.CloseMaster();
  const double before = ProcessCpuSeconds();
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(ProcessCpuSeconds() - before, 0.15);
  EXPECT_TRUE(t.port.IsOpen());  // nobody has run the hand-over yet
  t.port.ClosePort();
  EXPECT_EQ(t.closed, 1);
  EXPECT_TRUE(t.lost.empty());  // a close of its own is not a loss
  t.loop.RunFor(20ms);          // the late wake finds nothing
  EXPECT_EQ(t.closed, 1);
}

TEST(TComPortHandOver, ClosingWithAPendingHandOverAndNoLoopDoesNotDeadlock) {
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy);
    TTestLoop loop;
    TPty pty;
    int delivered = 0;
    int closed = 0;
    {
      TComPort port;
      port.Port = pty.Path();
      port.ReceiveMode = rmRAW;
      port.SetWakeMainThread(loop.Wake());
      port.ReceiveCallBack = [&](const std::string&) { ++delivered; };
      port.OnPortClose = [&](TComPort&) { ++closed; };
      port.OpenPort();
      pty.Write("pending");
      ASSERT_TRUE(loop.WaitForWakes(1));
      if (!destroy) port.ClosePort();
    }
    loop.RunFor(20ms);
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(closed, 1);
  }
}

TEST(TComPortHandOver, AReceiverMayCloseThePortItIsCalledFrom) {
  TPortOnPty t;
  t.port.ReceiveCallBack = [&](const std::string& data) {
    t.deliveries.push_back(data);
    t.port.ClosePort();
  };
  t.port.OpenPort();
  t.pty.Write("bye");
  ASSERT_TRUE(t.loop.RunUntil([&] { return t.closed == 1; }));
  EXPECT_FALSE(t.port.IsOpen());
  EXPECT_EQ(t.Received(), "bye");
  t.port.OpenPort();
  t.pty.Write("hi");
  ASSERT_TRUE(t.WaitForBytes(5));
  EXPECT_EQ(t.Received(), "byehi");
}

TEST(THandOverTest, AStoppedHandOverDropsWhatWasNotTakenAndNeverRunsAJobTwice) {
  TTestLoop loop;
  auto handOver = THandOver::Create(loop.Wake());
  int runs = 0;
  bool nestedRan = true;
  std::thread worker([&] {
    EXPECT_TRUE(handOver->Deposit([&] {
      ++runs;
      nestedRan = handOver->RunPending();  // a late wake inside the job finds nothing
    }));
    EXPECT_FALSE(handOver->Deposit([&] { ++runs; }));  // stopped before it was taken
    handOver->Finish();
  });
  ASSERT_TRUE(loop.RunUntil([&] { return runs == 1; }));
  EXPECT_FALSE(nestedRan);
  // Wait until the second job sits there untaken, then stop instead of serving it.
  ASSERT_TRUE(loop.WaitForWakes(2));
  handOver->Stop();
  worker.join();
  loop.RunFor(10ms);  // the late wake finds nothing
  handOver->ServeUntilFinished();
  EXPECT_EQ(runs, 1);
}

TEST(TComPortStatus, StatusIsTrueWhenTheLineBitIsClear) {
  struct TCase {
    std::uint32_t mask;
    std::uint32_t modem;
    std::string calls;  // in call order: C/D/R/I for CTS/DSR/RLSD/ring with 1 or 0, E for error
  };
  const TCase cases[] = {
      {0x0008, 0x0000, "C1"},        {0x0008, 0x0010, "C0"}, {0x0010, 0x0020, "D0"},
      {0x0010, 0x00DF, "D1"},        {0x0020, 0x0000, "R1"}, {0x0020, 0x0080, "R0"},
      {0x0100, 0x0040, "I0"},        {0x0100, 0x00BF, "I1"}, {0x0080, 0x0000, "E"},
      {0x01B8, 0x0010, "C0D1R1I1E"}, {0x0001, 0x0000, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.calls);
    TComPort port;
    std::string calls;
    auto record = [&](char name) {
      return [&calls, name](bool status) {
        calls += name;
        calls += status ? '1' : '0';
      };
    };
    port.OnCTSChanged = record('C');
    port.OnDSRChanged = record('D');
    port.OnRLSDChanged = record('R');
    port.OnRingChanged = record('I');
    port.OnError = [&](TComPort& sender) {
      EXPECT_EQ(&sender, &port);
      calls += 'E';
    };
    TComPortTestPeer::Status(port, c.mask, c.modem);
    EXPECT_EQ(calls, c.calls);
  }
  // Unbound events are skipped.
  TComPort port;
  TComPortTestPeer::Status(port, 0x01B9, 0);
}

}  // namespace
}  // namespace ardel

namespace ardel {
namespace {

TEST(PortDevice, WhatMayBeOpenedAgainAfterALoss) {
  struct Case {
    const char* device;
    bool reopen;
  } cases[] = {
      {"/dev/ttyUSB0", true}, {"/dev/serial/by-id/usb-FTDI-if00-port0", true}, {"/dev/ttyS0", true},
      {"/tmp/bus/adapter", true}, {"/dev/pts/0", false}, {"/dev/pts/17", false}, {"/dev/ptmx", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MayReopenAfterLoss(c.device), c.reopen) << c.device;
}

}  // namespace
}  // namespace ardel
