// The COM port layer on Windows, run under Wine. Most cases need a COM port that the
// Linux side (tests/wine) maps to a pseudo-terminal it serves: it names the port in
// ARDEL_WINE_PORT, echoes what the port sends, and closes its end on "\x04BYE\n". It
// says in ARDEL_WINE_MODEM_LINES whether it preloads its library that answers the modem
// ioctls (1) or lets Wine's driver go without them (0).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/com_port.h"
#include "serial/comm_transport.h"
#include "serial/device_list.h"
#include "util/win32_text.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string WinePort() { return Env("ARDEL_WINE_PORT"); }
bool ModemLines() { return Env("ARDEL_WINE_MODEM_LINES") == "1"; }

#define NEED_WINE_PORT()                                                        \
  if (WinePort().empty()) GTEST_SKIP() << "no COM port mapped by the Linux side"

// The main thread's loop: hand-overs run only while the test pumps.
class TLoop {
 public:
  TWakeMainThread Wake() {
    return [this](std::function<void()> run) {
      std::lock_guard lock(mutex_);
      posted_.push_back(std::move(run));
      changed_.notify_all();
    };
  }
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      std::function<void()> run;
      {
        std::unique_lock lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return done();
        if (!changed_.wait_until(lock, std::min(end, now + 5ms), [&] { return !posted_.empty(); })) continue;
        run = std::move(posted_.front());
        posted_.pop_front();
      }
      run();
    }
    return true;
  }
  // Runs posted work until the time is up, waking for nothing else.
  void RunFor(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    for (;;) {
      std::function<void()> run;
      {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_until(lock, end, [&] { return !posted_.empty(); })) return;
        run = std::move(posted_.front());
        posted_.pop_front();
      }
      run();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> posted_;
};

TEST(CommNames, FileNamesAndOpenErrors) {
  // CreateFileA finds COM1 to COM9 by their bare names only; from COM10 on it needs the
  // device prefix, and a path that has one must not get it twice.
  const struct {
    const char* device;
    const char* file;
  } names[] = {
      {"COM1", "COM1"},       {"COM9", "COM9"},           {"COM10", "\\\\.\\COM10"},
      {"com12", "\\\\.\\com12"}, {"\\\\.\\COM3", "\\\\.\\COM3"}, {"COMX", "COMX"},
  };
  for (const auto& c : names) EXPECT_EQ(CommFileName(c.device), c.file) << c.device;

  // An exclusive open that another program holds fails with "access denied": that is a
  // busy port, not a permission the user could be given.
  const struct {
    DWORD error;
    TComErrorKind kind;
  } kinds[] = {
      {ERROR_FILE_NOT_FOUND, ekMISSING},   {ERROR_PATH_NOT_FOUND, ekMISSING}, {ERROR_DEVICE_NOT_CONNECTED, ekMISSING},
      {ERROR_ACCESS_DENIED, ekBUSY},       {ERROR_SHARING_VIOLATION, ekBUSY}, {ERROR_NOT_ENOUGH_MEMORY, ekOTHER},
  };
  for (const auto& c : kinds) EXPECT_EQ(CommOpenErrorKind(c.error), c.kind) << c.error;
}

TEST(CommPort, MissingPortSaysSoInTheSystemsWords) {
  // COM199 does not exist. The Linux side may name a port it leads to a link to nothing:
  // Wine opens it, and its line settings cannot be read, which is a missing port too.
  // Which low ports a bare prefix has depends on the machine's serial devices, so the
  // case is left out without it.
  const std::string dangling = Env("ARDEL_WINE_DANGLING_PORT");
  const struct {
    const char* name;
    const char* systemText;  // nullptr: whatever the system says
  } cases[] = {{"COM199", "file not found"}, {dangling.c_str(), nullptr}};
  for (const auto& c : cases) {
    if (*c.name == '\0' || WinePort() == c.name) continue;
    TComPort port;
    port.Port = c.name;
    try {
      port.OpenPort();
      ADD_FAILURE() << c.name << " opened";
    } catch (const EComError& e) {
      const std::string head = std::string("TCOMPORT : cannot open ") + c.name + "\r";
      const std::string what = e.what();
      ASSERT_EQ(what.rfind(head, 0), 0u) << what;
      // The system's text follows the carriage return, without the name again.
      const std::string text = what.substr(head.size());
      if (c.systemText != nullptr) EXPECT_EQ(text, Win32ErrorText(ERROR_FILE_NOT_FOUND)) << what;
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(text.find(c.name), std::string::npos) << what;
      EXPECT_EQ(e.Kind(), ekMISSING) << what;
    }
    EXPECT_FALSE(port.IsOpen());
  }
}

// The ports the system announces, as the tab "Setup" lists them: the mapped port is
// among them, and COM2 comes before COM10.
TEST(CommPort, DeviceListHasThePortsInNumberOrder) {
  NEED_WINE_PORT();
  const std::vector<TSerialDevice> devices = ListSerialDevices();
  std::vector<int> numbers;
  for (const TSerialDevice& device : devices) {
    ASSERT_EQ(device.path.rfind("COM", 0), 0u) << device.path;
    numbers.push_back(std::atoi(device.path.c_str() + 3));
  }
  EXPECT_NE(std::find_if(devices.begin(), devices.end(), [](const TSerialDevice& d) { return d.path == WinePort(); }),
            devices.end());
  EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
  EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end()) << "a port listed twice";
}

// Run by the Linux side in a Wine process of its own, before PortHeldByAnotherProgramIsBusy.
TEST(CommPortHolder, DISABLED_HoldsThePort) {
  HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, "ardel-test-port-held");
  HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, "ardel-test-port-release");
  TCommTransport transport(WinePort());
  TPortFault fault;
  ASSERT_TRUE(transport.Open(WinePort(), fault)) << fault.text;
  ::SetEvent(held);
  ::WaitForSingleObject(release, 60000);
  transport.Close();
  ::CloseHandle(held);
  ::CloseHandle(release);
}

// Windows itself refuses the second open; under Wine the device takes it, and the hold
// that the port layer keeps while the port is open refuses it.
TEST(CommPortHeld, PortHeldByAnotherProgramIsBusy) {
  NEED_WINE_PORT();
  HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, "ardel-test-port-held");
  HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, "ardel-test-port-release");
  ASSERT_EQ(::WaitForSingleObject(held, 30000), WAIT_OBJECT_0) << "the holder did not open the port";

  TComPort port;
  port.Port = WinePort();
  try {
    port.OpenPort();
    ADD_FAILURE() << "opened a port that another program holds";
  } catch (const EComError& e) {
    EXPECT_EQ(e.Kind(), ekBUSY) << e.what();
    EXPECT_EQ(std::string(e.what()).rfind("TCOMPORT : cannot open " + WinePort() + "\r", 0), 0u) << e.what();
  }
  ::SetEvent(release);
  ::CloseHandle(held);
  ::CloseHandle(release);
}

TEST(CommPort, BytesGoOutAndComeBackWhole) {
  NEED_WINE_PORT();
  TLoop loop;
  TComPort port;
  port.Port = WinePort();
  port.ReceiveMode = rmRAW;
  port.SetWakeMainThread(loop.Wake());
  std::string received;
  port.ReceiveCallBack = [&](const std::string& data) { received += data; };
  port.OpenPort();
  // Every byte value, and telegrams one after the other faster than the echo.
  std::string sent;
  for (int i = 0; i < 256; ++i) sent.push_back(static_cast<char>(i));
  const std::string telegram("\xA5\x5A\xAB\xB4\x00\x00\x00\x00\xFF\xFF\xFF\x80\x00\x1D\x11", 15);
  for (int i = 0; i < 20; ++i) sent += telegram;
  port.SendString(sent.substr(0, 256));
  for (int i = 0; i < 20; ++i) port.SendString(telegram);
  EXPECT_TRUE(loop.RunUntil([&] { return received.size() >= sent.size(); }, 10s)) << received.size();
  EXPECT_EQ(received, sent);
  port.ClosePort();
}

TEST(CommPort, WaitIsArmedAgainAfterTheDriverEndsIt) {
  NEED_WINE_PORT();
  TCommTransport transport(WinePort());
  TPortFault fault;
  ASSERT_TRUE(transport.Open(WinePort(), fault)) << fault.text;
  transport.SetLineSettings({});
  // An idle port: whatever the driver does with the wait, none ends as input or as a
  // failure, and the waits do not run in a loop.
  int returns = 0;
  const auto idleEnd = std::chrono::steady_clock::now() + 300ms;
  while (std::chrono::steady_clock::now() < idleEnd) {
    const TPortEvents events = transport.Wait(false, 100);
    ASSERT_EQ(events.failure, 0) << transport.ErrorText(events.failure);
    EXPECT_FALSE(events.readable);
    ++returns;
  }
  // A loop without a pause comes back tens of thousands of times in 300 ms.
  EXPECT_LT(returns, 300);
  if (ModemLines()) {
    EXPECT_FALSE(transport.WaitsWithoutModemLines());
    EXPECT_EQ(transport.AbortedWaits(), 0u);
  } else {
    EXPECT_TRUE(transport.WaitsWithoutModemLines() || transport.AbortedWaits() > 0);
  }

  // And input still arrives through the waits armed again.
  ASSERT_EQ(transport.Write("ping", 4), 4);
  std::string echoed;
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (echoed.size() < 4 && std::chrono::steady_clock::now() < end) {
    const TPortEvents events = transport.Wait(false, 100);
    ASSERT_EQ(events.failure, 0) << transport.ErrorText(events.failure);
    if (!events.readable) continue;
    const int waiting = transport.BytesWaiting();
    ASSERT_GE(waiting, 0);
    char buffer[64];
    const ssize_t got = transport.Read(buffer, sizeof buffer);
    if (got > 0) echoed.append(buffer, static_cast<std::size_t>(got));
  }
  EXPECT_EQ(echoed, "ping");
  transport.Close();
}

// A network port over Winsock: ARDEL_WINE_ECHO_URL names an echo server of the Linux
// side, ARDEL_WINE_CLOSED_URL a port where nothing listens.
TEST(NetworkPort, BytesGoOutAndComeBackAndARefusalIsALoss) {
  if (Env("ARDEL_WINE_ECHO_URL").empty()) GTEST_SKIP() << "no echo server named by the Linux side";
  TLoop loop;
  {
    TComPort port;
    port.Port = Env("ARDEL_WINE_ECHO_URL");
    port.ReceiveMode = rmRAW;
    port.SetWakeMainThread(loop.Wake());
    std::string received;
    port.ReceiveCallBack = [&](const std::string& data) { received += data; };
    bool connected = false;
    port.OnConnected = [&](TComPort&) { connected = true; };
    port.OpenPort();
    ASSERT_TRUE(loop.RunUntil([&] { return connected; }, 10s));
    std::string sent;
    for (int i = 0; i < 256; ++i) sent.push_back(static_cast<char>(i));
    port.SendString(sent);
    EXPECT_TRUE(loop.RunUntil([&] { return received.size() >= sent.size(); }, 10s)) << received.size();
    EXPECT_EQ(received, sent);
    port.ClosePort();
  }
  {
    TComPort port;
    port.Port = Env("ARDEL_WINE_CLOSED_URL");
    port.SetWakeMainThread(loop.Wake());
    bool lost = false;
    port.OnDeviceLost = [&](TComPort&, const std::string&) { lost = true; };
    port.OpenPort();
    EXPECT_TRUE(loop.RunUntil([&] { return lost; }, 15s));
    EXPECT_EQ(port.LostFault().kind, ekREFUSED) << port.LostFault().text;
    EXPECT_NE(port.LostFault().text.find("cannot connect to 127.0.0.1:"), std::string::npos) << port.LostFault().text;
  }
}

// Run by bench/idle_wine_cli.sh: an open port that nothing is sent to, for
// ARDEL_IDLE_SECONDS, to measure what waiting costs.
TEST(CommPortIdle, DISABLED_StaysOpen) {
  NEED_WINE_PORT();
  TLoop loop;
  TComPort port;
  port.Port = WinePort();
  port.ReceiveMode = rmRAW;
  port.SetWakeMainThread(loop.Wake());
  port.ReceiveCallBack = [](const std::string&) {};
  port.OpenPort();
  const int seconds = std::atoi(Env("ARDEL_IDLE_SECONDS").c_str());
  loop.RunFor(std::chrono::seconds(seconds > 0 ? seconds : 10));
  port.ClosePort();
}

// Ends the Linux side's pseudo-terminal: run last.
TEST(CommPortGone, DeviceThatGoesAwayIsLost) {
  NEED_WINE_PORT();
  TLoop loop;
  TComPort port;
  port.Port = WinePort();
  port.ReceiveMode = rmRAW;
  port.SetWakeMainThread(loop.Wake());
  std::string received;
  port.ReceiveCallBack = [&](const std::string& data) { received += data; };
  std::string lostReason;
  bool lost = false;
  port.OnDeviceLost = [&](TComPort&, const std::string& reason) {
    lost = true;
    lostReason = reason;
  };
  port.OpenPort();
  port.SendString("\x04" "BYE\n");
  EXPECT_TRUE(loop.RunUntil([&] { return lost; }, 10s)) << "received: " << received.size() << " bytes";
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LostFault().kind, ekLOST);
  EXPECT_FALSE(lostReason.empty());
}

}  // namespace
}  // namespace ardel
