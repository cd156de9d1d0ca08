// The serial ports coming and going on Windows: the registry's map of serial ports, as a
// driver changes it, reaches the device watch and the tab Setup's list.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/poll_event_loop.h"
#include "app/port_binding.h"
#include "link/receive_path.h"
#include "link/transmit_path.h"
#include "log/link_log.h"
#include "queue/queues.h"
#include "serial/device_list.h"

namespace ardel {
namespace {

using namespace std::chrono_literals;

const wchar_t kDeviceMap[] = L"HARDWARE\\DEVICEMAP";
const wchar_t kSerialMap[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Changes the registry as a serial driver does (Wine lets the prefix's user write the
// machine's keys); takes back what it did when it goes.
class TDriverMap {
 public:
  TDriverMap() : name_(L"\\Device\\ArdelWatch" + std::to_wstring(::GetCurrentProcessId())) {}
  ~TDriverMap() {
    Remove();
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, other_.c_str());
  }
  // False when the test may not write the map.
  bool Writable() {
    HKEY key = nullptr;
    const LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialMap, 0, nullptr, REG_OPTION_VOLATILE,
                                          KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
  }
  void Announce(const std::string& port) { Set(kSerialMap, name_, port); }
  void Remove() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialMap, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(key, name_.c_str());
    ::RegCloseKey(key);
  }
  // Another kind of device in the map beside the ports.
  void AnnounceOther(const std::string& value) { Set(other_.c_str(), L"\\Device\\ArdelOther0", value); }

 private:
  static void Set(const wchar_t* path, const std::wstring& name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring wide(value.begin(), value.end());
    EXPECT_EQ(::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                               static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }
  std::wstring name_;
  std::wstring other_ = std::wstring(kDeviceMap) + L"\\ArdelOther" + std::to_wstring(::GetCurrentProcessId());
};

bool Listed(const std::vector<TSerialDevice>& devices, const std::string& port) {
  return std::any_of(devices.begin(), devices.end(), [&](const TSerialDevice& d) { return d.path == port; });
}

// Asks the watch as its owner does, a while long: whether it told of a change.
bool ToldWithin(TDeviceWatch& watch, std::chrono::milliseconds wait) {
  const auto end = std::chrono::steady_clock::now() + wait;
  while (std::chrono::steady_clock::now() < end) {
    if (watch.Changed()) return true;
    ::Sleep(20);
  }
  return false;
}

// Each change of the ports is told once, soon; nothing is told while they stay, nor when
// only another device's map changes, which would have the list read for nothing.
TEST(Win32DeviceWatch, EachChangeOfThePortsIsToldOnce) {
  TDriverMap map;
  if (!map.Writable()) GTEST_SKIP() << "the machine's serial map cannot be written here";
  TDeviceWatch watch;
  EXPECT_EQ(watch.Fd(), -1);
  ASSERT_GT(TDeviceWatch::PollInterval().count(), 0);
  struct TStep {
    const char* what;
    std::function<void()> change;
    bool told;
    const char* listed;
    const char* gone;
  } steps[] = {
      {"nothing", [] {}, false, nullptr, "COM87"},
      {"an adapter comes", [&] { map.Announce("COM87"); }, true, "COM87", nullptr},
      {"it comes back as another port", [&] { map.Announce("COM88"); }, true, "COM88", "COM87"},
      {"another device's map changes", [&] { map.AnnounceOther("\\Device\\Other0"); }, false, "COM88", nullptr},
      {"the adapter goes", [&] { map.Remove(); }, true, nullptr, "COM88"},
  };
  for (const TStep& step : steps) {
    step.change();
    EXPECT_EQ(ToldWithin(watch, step.told ? 5000ms : 500ms), step.told) << step.what;
    EXPECT_FALSE(watch.Changed()) << step.what << ": told twice";
    const std::vector<TSerialDevice> devices = ListSerialDevices();
    if (step.listed != nullptr) {
      EXPECT_TRUE(Listed(devices, step.listed)) << step.what;
    }
    if (step.gone != nullptr) {
      EXPECT_FALSE(Listed(devices, step.gone)) << step.what;
    }
  }
}

// The list of the tab Setup follows an adapter that comes and goes while the program runs.
TEST(Win32DeviceWatch, TheSetupListFollowsAnAdapter) {
  TDriverMap map;
  if (!map.Writable()) GTEST_SKIP() << "the machine's serial map cannot be written here";
  TPollEventLoop loop;
  TLinkLog log;
  TQueues queues;
  TReceivePath receive{log, queues.Answers()};
  TTransmitPath transmit{log, receive};
  TPortBinding binding(loop, log, receive, transmit, [](const std::string&) {});
  const auto& devices = binding.SerialDevices();
  EXPECT_FALSE(Listed(devices.Value(), "COM86"));

  // Runs the program's loop until the list says so, at most ten seconds.
  const auto runUntil = [&](const std::function<bool()> done) {
    auto look = loop.NewTimer(tkRepeating, [&] {
      if (done()) loop.Quit(0);
    });
    auto limit = loop.NewTimer(tkSingleShot, [&] { loop.Quit(1); });
    look->Start(20ms);
    limit->Start(10s);
    return loop.Run() == 0;
  };
  map.Announce("COM86");
  EXPECT_TRUE(runUntil([&] { return Listed(devices.Value(), "COM86"); }));
  map.Remove();
  EXPECT_TRUE(runUntil([&] { return !Listed(devices.Value(), "COM86"); }));
}

}  // namespace
}  // namespace ardel
