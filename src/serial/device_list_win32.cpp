#include "serial/device_list.h"

#include <windows.h>
#include <setupapi.h>
// The device classes are defined here, not taken from a library.
#include <initguid.h>
#include <devguid.h>

#include <algorithm>
#include <map>

namespace ardel {

namespace {

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
  return text;
}

// The COM names the drivers have announced: the values of the SERIALCOMM map.
std::vector<std::string> RegisteredPorts() {
  std::vector<std::string> ports;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return ports;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    wchar_t value[256];
    DWORD valueBytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(value), &valueBytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    value[valueBytes / sizeof(wchar_t)] = L'\0';
    ports.push_back(Utf8(value));
  }
  ::RegCloseKey(key);
  return ports;
}

// The device manager's friendly names of the ports class, by COM name, where the
// system has them ("USB Serial Port (COM3)").
std::map<std::string, std::string> FriendlyNames() {
  std::map<std::string, std::string> names;
  HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t port[64];
    DWORD bytes = sizeof port - sizeof(wchar_t);
    DWORD type = 0;
    const bool named = ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port), &bytes) ==
                           ERROR_SUCCESS &&
                       type == REG_SZ;
    ::RegCloseKey(key);
    if (!named) continue;
    port[bytes / sizeof(wchar_t)] = L'\0';
    wchar_t friendly[256];
    DWORD friendlyBytes = 0;
    if (::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(friendly),
                                            sizeof friendly - sizeof(wchar_t), &friendlyBytes)) {
      friendly[friendlyBytes / sizeof(wchar_t)] = L'\0';
      names[Utf8(port)] = Utf8(friendly);
    }
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return names;
}

// COM2 before COM10.
bool NumberOrder(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

std::vector<TSerialDevice> ListSerialDevices(const std::string&) {
  std::vector<std::string> ports = RegisteredPorts();
  std::sort(ports.begin(), ports.end(), NumberOrder);
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  const std::map<std::string, std::string> friendly = FriendlyNames();
  std::vector<TSerialDevice> devices;
  for (const std::string& port : ports) {
    const auto found = friendly.find(port);
    devices.push_back({port, found != friendly.end() ? found->second : std::string()});
  }
  return devices;
}

std::string DescribeByIdName(const std::string& name) { return name; }

namespace {

HKEY KeyOf(std::intptr_t key) { return reinterpret_cast<HKEY>(key); }
HANDLE EventOf(std::intptr_t event) { return reinterpret_cast<HANDLE>(event); }

// The map's key may come with the first port: its parent is watched, with what is below.
bool ArmChangeEvent(std::intptr_t key, std::intptr_t event) {
  return ::RegNotifyChangeKeyValue(KeyOf(key), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                   EventOf(event), TRUE) == ERROR_SUCCESS;
}

std::vector<std::string> SortedPorts() {
  std::vector<std::string> ports = RegisteredPorts();
  std::sort(ports.begin(), ports.end());
  return ports;
}

}  // namespace

// The watch is armed on the thread that makes it, which stays as long as the watch: on
// Windows before 8 a watch ends with the thread that armed it.
TDeviceWatch::TDeviceWatch(const std::string& root) : root_(root), ports_(SortedPorts()) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP", 0, KEY_NOTIFY, &key) != ERROR_SUCCESS) return;
  const HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) {
    ::RegCloseKey(key);
    return;
  }
  key_ = reinterpret_cast<std::intptr_t>(key);
  event_ = reinterpret_cast<std::intptr_t>(event);
  if (!ArmChangeEvent(key_, event_)) {
    // Without the event every look reads the map.
    ::CloseHandle(event);
    event_ = 0;
  }
}

TDeviceWatch::~TDeviceWatch() {
  if (key_ != 0) ::RegCloseKey(KeyOf(key_));
  if (event_ != 0) ::CloseHandle(EventOf(event_));
}

std::chrono::milliseconds TDeviceWatch::PollInterval() { return std::chrono::milliseconds(1000); }

void TDeviceWatch::WatchById() {}

bool TDeviceWatch::Changed() {
  if (event_ != 0) {
    if (::WaitForSingleObject(EventOf(event_), 0) != WAIT_OBJECT_0) return false;
    // Armed again before the map is read, so that a change while it is read is not missed.
    if (!ArmChangeEvent(key_, event_)) {
      ::CloseHandle(EventOf(event_));
      event_ = 0;
    }
  }
  // Other devices' maps change as well: only a change of the ports counts.
  std::vector<std::string> ports = SortedPorts();
  if (ports == ports_) return false;
  ports_ = std::move(ports);
  return true;
}

}  // namespace ardel
