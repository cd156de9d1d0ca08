// Network ports against ser2net in front of a pseudo-terminal: the bytes, the line
// settings and the loss and return of the server, as the port's owner sees them.

#include <gtest/gtest.h>
#include <termios.h>

#include <string>
#include <vector>

#include "serial/com_port.h"
#include "serial/pty_fixture.h"
#include "serial_net/ser2net_fixture.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;
using testing::TPty;
using testing::TSer2Net;
using testing::TTestLoop;

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

// A telegram as the link sends it: sync, body, checksum.
const std::string kTelegram = std::string("\xA5\x5A\x01\x02\xFF\xFF\x00\x10\x20\x30\x40\x50\xFF\x7E", 14);

struct TNetPort {
  TTestLoop loop;
  TPty pty;
  TSer2Net server;
  TComPort port;
  std::string received;
  std::vector<std::string> lost;

  explicit TNetPort(const std::string& lineFormat = "9600n81") : server(pty.Path(), lineFormat) {
    port.ReceiveMode = rmRAW;
    port.SetWakeMainThread(loop.Wake());
    port.ReceiveCallBack = [this](const std::string& data) { received += data; };
    port.OnDeviceLost = [this](TComPort&, const std::string& reason) { lost.push_back(reason); };
  }

  // Sends from the port until the far end has it all; the first bytes also show that
  // the connection and the server's device are up.
  bool ArrivesAtPty(const std::string& bytes, std::string& arrived) {
    port.SendString(bytes);
    return loop.RunUntil([&] {
      arrived += pty.ReadAvailable();
      return arrived.size() >= bytes.size();
    }, 5s);
  }

  bool ArrivesAtPort(const std::string& bytes) {
    received.clear();
    pty.Write(bytes);
    return loop.RunUntil([&] { return received.size() >= bytes.size(); }, 5s);
  }
};

TEST(NetworkPort, BytesOfEveryValueFlowBothWaysOverBothKindsOfUrl) {
  for (const bool telnet : {false, true}) {
    SCOPED_TRACE(telnet ? "rfc2217" : "raw");
    TNetPort t;
    t.port.Port = telnet ? t.server.Rfc2217Url() : t.server.RawUrl();
    t.port.OpenPort();
    EXPECT_TRUE(t.port.IsOpen());
    std::string arrived;
    ASSERT_TRUE(t.ArrivesAtPty(kTelegram, arrived));
    EXPECT_EQ(arrived, kTelegram);

    const std::string all = AllByteValues() + std::string(5, '\xFF') + AllByteValues();
    arrived.clear();
    ASSERT_TRUE(t.ArrivesAtPty(all, arrived));
    EXPECT_TRUE(arrived == all);

    ASSERT_TRUE(t.ArrivesAtPort(kTelegram));
    EXPECT_EQ(t.received, kTelegram);
    ASSERT_TRUE(t.ArrivesAtPort(all));
    EXPECT_TRUE(t.received == all);
    // Nothing more comes: no Telnet command leaked into the data.
    t.loop.RunFor(100ms);
    EXPECT_EQ(t.received.size(), all.size());
    EXPECT_TRUE(t.lost.empty());
    t.port.ClosePort();
  }
}

TEST(NetworkPort, TheLineSettingsAskedForArriveAtTheDevice) {
  // The server starts the device otherwise; the port asks for 9600 8N1.
  TNetPort t("19200e72");
  t.port.Port = t.server.Rfc2217Url();
  t.port.OpenPort();
  std::string arrived;
  ASSERT_TRUE(t.ArrivesAtPty("x", arrived));
  termios tio{};
  auto settled = [&] {
    ::tcgetattr(t.pty.Slave(), &tio);
    return ::cfgetospeed(&tio) == B9600 && (tio.c_cflag & CSIZE) == CS8 && !(tio.c_cflag & PARENB) &&
           !(tio.c_cflag & CSTOPB);
  };
  ASSERT_TRUE(t.loop.RunUntil(settled, 5s));
  EXPECT_EQ(::cfgetispeed(&tio), B9600);
  EXPECT_FALSE(tio.c_cflag & CRTSCTS);
  EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
}

TEST(NetworkPort, AKilledServerIsALossAndTheRestartedOneTakesThePortBack) {
  for (const bool telnet : {false, true}) {
    SCOPED_TRACE(telnet ? "rfc2217" : "raw");
    TNetPort t;
    t.port.Port = telnet ? t.server.Rfc2217Url() : t.server.RawUrl();
    t.port.OpenPort();
    std::string arrived;
    ASSERT_TRUE(t.ArrivesAtPty("before", arrived));

    t.server.Kill();
    ASSERT_TRUE(t.loop.RunUntil([&] { return !t.lost.empty(); }, 5s));
    EXPECT_FALSE(t.port.IsOpen());

    // While the server is away, a new try opens and is lost again with the reason.
    t.port.OpenPort();
    ASSERT_TRUE(t.loop.RunUntil([&] { return t.lost.size() == 2; }, 5s));
    EXPECT_NE(t.lost[1].find("cannot connect to 127.0.0.1:"), std::string::npos) << t.lost[1];
    EXPECT_FALSE(t.port.IsOpen());

    t.server.Start();
    t.port.OpenPort();
    arrived.clear();
    ASSERT_TRUE(t.ArrivesAtPty("after", arrived));
    EXPECT_EQ(arrived, "after");
    ASSERT_TRUE(t.ArrivesAtPort(kTelegram));
    EXPECT_EQ(t.received, kTelegram);
    EXPECT_EQ(t.lost.size(), 2u);
  }
}

}  // namespace
}  // namespace ardel
